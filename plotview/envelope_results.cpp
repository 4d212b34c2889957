// Reading the envelope results from a host's property container.
#include "plotview/envelope_results.h"

#include <string>

namespace plotview {
namespace {

// Reads the property `name` into *value (VariantClear'd by the caller).
HRESULT ReadProperty(IPropContainer* container, IPropertyEnumerationRegistry* registry,
                     const wchar_t* name, VARIANT* value) {
    platform::Bstr bname(name);
    LONG id = -32767;
    HRESULT hr = registry->GetPropertyIDByName(bname.Get(), &id);
    if (FAILED(hr))
        return hr;
    return container->GetProperty(id, value);
}

HRESULT ReadArray(IPropContainer* container, IPropertyEnumerationRegistry* registry,
                  const wchar_t* name, std::vector<double>* out) {
    out->clear();
    VARIANT v;
    VariantInit(&v);
    HRESULT hr = ReadProperty(container, registry, name, &v);
    if (SUCCEEDED(hr) && (v.vt != VT_DISPATCH || v.pdispVal == nullptr))
        hr = E_UNEXPECTED;
    platform::ComPtr<IRealArrayDisp> array;
    if (SUCCEEDED(hr))
        hr = v.pdispVal->QueryInterface(IID_IRealArrayDisp, array.put_void());
    LONG n = 0;
    if (SUCCEEDED(hr))
        hr = array->get_Size(&n);
    for (LONG i = 0; SUCCEEDED(hr) && i < n; ++i) {
        double d = kUndefinedValue;
        hr = array->get_IthValue(i, &d);
        out->push_back(d);
    }
    VariantClear(&v);
    return hr;
}

}  // namespace

HRESULT ReadEnvelopeResults(IDispatch* results, IDispatch* registry,
                            std::vector<EnvelopePoint>* points) {
    if (results == nullptr || registry == nullptr || points == nullptr)
        return E_POINTER;
    points->clear();
    platform::ComPtr<IPropContainer> container;
    platform::ComPtr<IPropertyEnumerationRegistry> names;
    if (FAILED(results->QueryInterface(IID_IPropContainer, container.put_void())) ||
        FAILED(registry->QueryInterface(IID_IPropertyEnumerationRegistry, names.put_void()))) {
        return E_NOINTERFACE;
    }

    std::vector<double> types;
    HRESULT hr = ReadArray(container.Get(), names.Get(), L"TypeOfDataPoint", &types);
    if (FAILED(hr))
        return hr;

    // Matrix row r holds the quantity with code columnCodes[r].
    std::vector<double> columnCodes;
    if (FAILED(ReadArray(container.Get(), names.Get(), L"ColumnName", &columnCodes))) {
        columnCodes = {2, 3, 4, 5, 6};
    }

    VARIANT v;
    VariantInit(&v);
    hr = ReadProperty(container.Get(), names.Get(), L"EnvelopeResultsMatrix", &v);
    if (SUCCEEDED(hr) && (v.vt != VT_DISPATCH || v.pdispVal == nullptr))
        hr = E_UNEXPECTED;
    platform::ComPtr<IRealMatrix> matrix;
    if (SUCCEEDED(hr))
        hr = v.pdispVal->QueryInterface(IID_IRealMatrix, matrix.put_void());
    int rows = 0;
    int columns = 0;
    if (SUCCEEDED(hr))
        hr = matrix->get_Rows(&rows);
    if (SUCCEEDED(hr))
        hr = matrix->get_Columns(&columns);
    std::vector<double> column(static_cast<size_t>(rows > 0 ? rows : 0));
    for (int c = 0; SUCCEEDED(hr) && c < columns && c < static_cast<int>(types.size()); ++c) {
        hr = matrix->GetColumnValues(c, rows, column.data());
        if (FAILED(hr))
            break;
        EnvelopePoint point = {static_cast<int>(types[static_cast<size_t>(c)]),
                               kUndefinedValue,
                               kUndefinedValue,
                               kUndefinedValue,
                               kUndefinedValue,
                               kUndefinedValue};
        for (int r = 0; r < rows && r < static_cast<int>(columnCodes.size()); ++r) {
            const double value = column[static_cast<size_t>(r)];
            switch (static_cast<int>(columnCodes[static_cast<size_t>(r)])) {
                case 2:
                    point.p = value;
                    break;
                case 3:
                    point.t = value;
                    break;
                case 4:
                    point.h = value;
                    break;
                case 5:
                    point.s = value;
                    break;
                case 6:
                    point.v = value;
                    break;
                default:
                    break;
            }
        }
        points->push_back(point);
    }
    VariantClear(&v);
    if (FAILED(hr))
        points->clear();
    return hr;
}

}  // namespace plotview
