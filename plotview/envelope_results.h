// The envelope results a plot view reads from a host's property container:
// the point type of every stored row ("TypeOfDataPoint") and its pressure,
// temperature, enthalpy, entropy and molar volume ("EnvelopeResultsMatrix",
// one column per row, matrix rows named by "ColumnName"), found through the
// host's property-name registry.
#pragma once

#include <vector>

#include "host/interfaces.h"
#include "platform/com.h"

namespace plotview {

// The host's undefined marker: a value nobody computed.
constexpr double kUndefinedValue = -32767.0;

// One stored envelope point, in the container's units: kPa, K, kJ/kmol,
// kJ/(kmol K), m3/kmol; kUndefinedValue where the row holds no value.
struct EnvelopePoint {
    int type;
    double p;
    double t;
    double h;
    double s;
    double v;
};

// Reads the rows in stored order into *points (cleared first). `results` is
// the property container (IPropContainer), `registry` the property-name
// registry (IPropertyEnumerationRegistry); neither is kept. The matrix rows
// are mapped by the property codes in "ColumnName" (2 pressure, 3
// temperature, 4 enthalpy, 5 entropy, 6 molar volume), in that order when
// the container has no column names. Rows beyond the shorter of the type
// array and the matrix are left out.
// Returns S_OK; E_POINTER for a null argument; E_NOINTERFACE when an object
// does not answer its interface; the failing HRESULT of a host call;
// E_UNEXPECTED when the container holds no type array or matrix.
HRESULT ReadEnvelopeResults(IDispatch* results, IDispatch* registry,
                            std::vector<EnvelopePoint>* points);

}  // namespace plotview
