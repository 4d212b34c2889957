// Real arrays, real matrices and the class factory of the reference host.
#include "pyrana/objects/arrays.h"

#include <algorithm>

namespace pyrana::objects {

HRESULT RealArray::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (Offer(riid, IID_IUnknown, this, ppv) || Offer(riid, IID_IDispatch, this, ppv) ||
        Offer(riid, IID_IRealArrayDisp, this, ppv)) {
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT RealArray::put_Size(LONG size) {
    return HostCall("IRealArrayDisp::put_Size", [&] {
        if (size < 0) {
            return E_INVALIDARG;
        }
        values_.resize(static_cast<size_t>(size), 0.0);
        return S_OK;
    });
}

HRESULT RealArray::get_IthValue(LONG index, double* value) {
    return HostCall("IRealArrayDisp::get_IthValue", [&] {
        if (value == nullptr) {
            return E_POINTER;
        }
        if (index < 0 || static_cast<size_t>(index) >= values_.size()) {
            return E_INVALIDARG;
        }
        *value = values_[static_cast<size_t>(index)];
        return S_OK;
    });
}

HRESULT RealArray::put_IthValue(LONG index, double value) {
    return HostCall("IRealArrayDisp::put_IthValue", [&] {
        if (index < 0 || static_cast<size_t>(index) >= values_.size()) {
            return E_INVALIDARG;
        }
        values_[static_cast<size_t>(index)] = value;
        return S_OK;
    });
}

HRESULT RealArray::get_Size(LONG* size) {
    return HostCall("IRealArrayDisp::get_Size", [&] {
        if (size == nullptr) {
            return E_POINTER;
        }
        *size = static_cast<LONG>(values_.size());
        return S_OK;
    });
}

HRESULT RealMatrix::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (Offer(riid, IID_IUnknown, static_cast<IRealMatrix*>(this), ppv) ||
        Offer(riid, IID_IRealMatrix, static_cast<IRealMatrix*>(this), ppv) ||
        Offer(riid, IID_IDispatch, static_cast<IDispatch*>(this), ppv)) {
        return S_OK;
    }
    return E_NOINTERFACE;
}

void RealMatrix::Reshape(int rows, int columns) {
    std::vector<double> data(static_cast<size_t>(rows) * static_cast<size_t>(columns), 0.0);
    const int keepRows = std::min(rows, rows_);
    const int keepColumns = std::min(columns, columns_);
    for (int c = 0; c < keepColumns; ++c) {
        for (int r = 0; r < keepRows; ++r) {
            data[static_cast<size_t>(c) * rows + r] = data_[static_cast<size_t>(c) * rows_ + r];
        }
    }
    data_.swap(data);
    rows_ = rows;
    columns_ = columns;
}

HRESULT RealMatrix::put_Rows(int rows) {
    return HostCall("IRealMatrix::put_Rows", [&] {
        if (rows < 0) {
            return E_INVALIDARG;
        }
        Reshape(rows, columns_);
        return S_OK;
    });
}

HRESULT RealMatrix::put_Columns(int columns) {
    return HostCall("IRealMatrix::put_Columns", [&] {
        if (columns < 0) {
            return E_INVALIDARG;
        }
        Reshape(rows_, columns);
        return S_OK;
    });
}

HRESULT RealMatrix::put_ColumnValues(int column, int nRows, const double* values) {
    return HostCall("IRealMatrix::put_ColumnValues", [&] {
        if (column < 0 || column >= columns_ || nRows != rows_) {
            return E_INVALIDARG;
        }
        if (values == nullptr && nRows > 0) {
            return E_POINTER;
        }
        std::copy(values, values + nRows, data_.begin() + static_cast<size_t>(column) * rows_);
        return S_OK;
    });
}

HRESULT RealMatrix::get_Rows(int* rows) {
    return HostCall("IRealMatrix::get_Rows", [&] {
        if (rows == nullptr) {
            return E_POINTER;
        }
        *rows = rows_;
        return S_OK;
    });
}

HRESULT RealMatrix::get_Columns(int* columns) {
    return HostCall("IRealMatrix::get_Columns", [&] {
        if (columns == nullptr) {
            return E_POINTER;
        }
        *columns = columns_;
        return S_OK;
    });
}

HRESULT RealMatrix::GetColumnValues(int column, int nRows, double* values) {
    return HostCall("IRealMatrix::GetColumnValues", [&] {
        if (column < 0 || column >= columns_ || nRows != rows_) {
            return E_INVALIDARG;
        }
        if (values == nullptr && nRows > 0) {
            return E_POINTER;
        }
        const auto first = data_.begin() + static_cast<size_t>(column) * rows_;
        std::copy(first, first + nRows, values);
        return S_OK;
    });
}

HRESULT ClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (Offer(riid, IID_IUnknown, this, ppv) || Offer(riid, IID_IClassFactory, this, ppv)) {
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    return HostCall("IClassFactory::CreateInstance", [&] {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        IUnknown* object = nullptr;
        const HRESULT hr = create_(&object);
        if (FAILED(hr)) {
            return hr;
        }
        const HRESULT qhr = object->QueryInterface(riid, ppv);
        object->Release();
        return qhr;
    });
}

HRESULT ClassFactory::LockServer(BOOL) {
    return S_OK;
}

}  // namespace pyrana::objects
