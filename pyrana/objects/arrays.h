// The host's real arrays (IRealArrayDisp) and real matrices (IRealMatrix,
// also answering IDispatch so that a property container can hold one as a
// VT_DISPATCH value), and a generic class factory the host registers with
// CoRegisterClassObject for CLSID_PyranaRealArray, CLSID_PyranaRealMatrix and
// CLSID_PyranaSettingsCompanion.
#pragma once

#include <functional>
#include <vector>

#include "host/host_interfaces.h"
#include "pyrana/objects/com_base.h"

namespace pyrana::objects {

// A zero-based array of doubles. Phase compositions and ln fugacity
// coefficients are RealArrays shared with their phase ("live": a value put
// through the interface is what the phase computes with).
class RealArray final : public IRealArrayDisp {
  public:
    explicit RealArray(size_t size = 0, double fill = 0.0) : values_(size, fill) {}

    // IUnknown, IDispatch
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    PYR_REFCOUNTED
    PYR_NO_TYPEINFO_DISPATCH

    // IRealArrayDisp. put_Size keeps the leading values and zero-fills new
    // ones; a negative size is E_INVALIDARG. An index outside [0, size) is
    // E_INVALIDARG.
    HRESULT STDMETHODCALLTYPE put_Size(LONG size) override;
    HRESULT STDMETHODCALLTYPE get_IthValue(LONG index, double* value) override;
    HRESULT STDMETHODCALLTYPE put_IthValue(LONG index, double value) override;
    HRESULT STDMETHODCALLTYPE get_Size(LONG* size) override;

    // Direct access for the host's own objects (no host call).
    std::vector<double>& values() { return values_; }
    const std::vector<double>& values() const { return values_; }

  private:
    ~RealArray() = default;
    platform::LiveObject live_{"PyranaRealArray"};
    ULONG refs_ = 1;
    std::vector<double> values_;
};

// A matrix of doubles stored column by column. Setting the row or column
// count keeps the values that still fit and zero-fills the rest.
class RealMatrix final : public IRealMatrix, public IDispatch {
  public:
    RealMatrix() = default;

    // IUnknown (one identity for both bases), IDispatch
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    PYR_REFCOUNTED
    PYR_NO_TYPEINFO_DISPATCH

    // IRealMatrix. Negative counts are E_INVALIDARG.
    HRESULT STDMETHODCALLTYPE put_Rows(int rows) override;
    HRESULT STDMETHODCALLTYPE put_Columns(int columns) override;
    // values: nRows doubles, read during the call; nRows must equal the row
    // count and column lie in [0, columns) (else E_INVALIDARG); null values
    // with nRows > 0 is E_POINTER.
    HRESULT STDMETHODCALLTYPE put_ColumnValues(int column, int nRows,
                                               const double* values) override;
    HRESULT STDMETHODCALLTYPE get_Rows(int* rows) override;
    HRESULT STDMETHODCALLTYPE get_Columns(int* columns) override;
    // values: caller storage of nRows doubles; same checks as put_ColumnValues.
    HRESULT STDMETHODCALLTYPE GetColumnValues(int column, int nRows, double* values) override;

    int rows() const { return rows_; }
    int columns() const { return columns_; }
    double at(int row, int column) const {
        return data_[static_cast<size_t>(column) * rows_ + row];
    }

  private:
    ~RealMatrix() = default;
    void Reshape(int rows, int columns);
    platform::LiveObject live_{"PyranaRealMatrix"};
    ULONG refs_ = 1;
    int rows_ = 0;
    int columns_ = 0;
    std::vector<double> data_;
};

// A class factory whose CreateInstance calls `create` for a new object (one
// reference) and queries it for the requested interface. No aggregation.
class ClassFactory final : public IClassFactory {
  public:
    using Create = std::function<HRESULT(IUnknown** object)>;
    explicit ClassFactory(Create create) : create_(std::move(create)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    PYR_REFCOUNTED
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

  private:
    ~ClassFactory() = default;
    platform::LiveObject live_{"PyranaClassFactory"};
    ULONG refs_ = 1;
    Create create_;
};

}  // namespace pyrana::objects
