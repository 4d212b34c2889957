// Enumerations shared by the host framework, the utility and the plot view.
// Values are part of the type library and never change.
#pragma once

// The coordinate pair in which an envelope is plotted.
enum EnvelopeType {
    etPT = 0,
    etPV = 1,
    etPH = 2,
    etPS = 3,
    etTV = 4,
    etTH = 5,
    etTS = 6,
};

// Compound families as the host reports them; eSolid marks a compound that
// never takes part in a fluid phase.
enum tagCompoundFamilyEnum {
    eGeneral = 0,
    eSolid = 1,
    eHydrocarbon = 2,
    eAqueous = 3,
    eGas = 4,
    ePseudo = 5,
};

// How a temperature- or pressure-dependent compound property is extrapolated
// outside the range of its correlation.
enum tagExtrapolationEnum {
    eNoExtrapolation = 0,
    eLinearExtrapolation = 1,
    eConstantExtrapolation = 2,
};

// Kinds of option a utility may offer the host.
enum tagPYROptionType {
    eOptionBoolean = 0,
    eOptionInteger = 1,
    eOptionReal = 2,
    eOptionString = 3,
};

// What changed in the host, as told to a utility through INotifyChange.
enum NotifyChange {
    NothingChanged = 0,
    CompColChanged = 1,
    IPChanged = 2,
    CompoundsChanged = 3,
};

// Phase kinds of a host phase collection and phase types of a host phase.
enum {
    kPhaseKindSpecification = 1,  // carries the flash specification
    kPhaseKindVapour = 3,
    kPhaseKindLiquid = 4,  // index 0 first liquid, 1 second liquid
};
enum {
    kPhaseTypeUnspecified = 0,  // properties use the stable root
    kPhaseTypeVapour = 3,
    kPhaseTypeLiquid = 4,
};

// The host's undefined marker for doubles and integers.
#define PYR_UNDEFINED (-32767.0)
#define PYR_UNDEFINED_INT (-32767)
