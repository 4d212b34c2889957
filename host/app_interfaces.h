// Interfaces of the application-side thermodynamics provider, an alternative
// source of thermodynamics chosen by SetThermo. Temperatures at this boundary
// are in degrees Celsius, pressures in kPa; values travel in IAppValue
// objects as VT_R8 doubles or VT_ARRAY|VT_R8 arrays.
#pragma once

#include "host/identifiers.h"
#include "platform/com.h"

struct IAppPhase;
struct IAppValue;
struct IAppComponent;
struct IAppComponentList;

// One value of the provider: a double or an array of doubles.
struct IAppValue : public IDispatch {
    // value receives VT_R8, or VT_ARRAY|VT_R8 for array values; the caller
    // clears it.
    virtual HRESULT STDMETHODCALLTYPE get_Value(VARIANT* value) = 0;
    // value: VT_R8 (or a numeric type) for scalars, VT_ARRAY|VT_R8 for arrays.
    virtual HRESULT STDMETHODCALLTYPE put_Value(VARIANT value) = 0;
};

// The provider: its phases after the last flash, the feed, the flashes.
struct IAppThermoProvider : public IDispatch {
    // Null when the phase is absent after the last flash.
    virtual HRESULT STDMETHODCALLTYPE get_VapourPhase(IAppPhase** phase) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LiquidPhase(IAppPhase** phase) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Liquid2Phase(IAppPhase** phase) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Components(IAppComponentList** components) = 0;
    // State of the last flash (temperature in degrees Celsius, pressure kPa,
    // mixture enthalpy, entropy, molar volume); putting the temperature value
    // seeds the next flash.
    virtual HRESULT STDMETHODCALLTYPE get_Temperature(IAppValue** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Pressure(IAppValue** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Enthalpy(IAppValue** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Entropy(IAppValue** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_MolarVolume(IAppValue** value) = 0;
    // The feed mole fractions as VT_ARRAY|VT_R8.
    virtual HRESULT STDMETHODCALLTYPE get_Composition(IAppValue** value) = 0;
    // Flashes of the feed; status 0 means success.
    virtual HRESULT STDMETHODCALLTYPE FlashTP(VARIANT temperatureC, VARIANT pressureKpa,
                                              int* status) = 0;
    virtual HRESULT STDMETHODCALLTYPE FlashPVF(VARIANT pressureKpa, VARIANT vapourFraction,
                                               int* status) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Mode(int mode) = 0;
    // At the provider's current temperature and pressure: phT 1 or 2 reports
    // a further liquid whose mole fractions `composition` receives
    // (VT_ARRAY|VT_R8); any other value means none.
    virtual HRESULT STDMETHODCALLTYPE FindThirdPhase(int* phT, VARIANT* composition) = 0;
};

// A phase of the provider.
struct IAppPhase : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Temperature(IAppValue** value) = 0;  // degrees Celsius
    virtual HRESULT STDMETHODCALLTYPE get_Pressure(IAppValue** value) = 0;     // kPa
    virtual HRESULT STDMETHODCALLTYPE get_Fraction(IAppValue** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Composition(IAppValue** value) = 0;
    // ln fugacity (fugacity in kPa) of every compound at the phase's
    // temperature, pressure and composition, as VT_ARRAY|VT_R8.
    virtual HRESULT STDMETHODCALLTYPE GetLnFugacity(VARIANT* lnFugacity) = 0;
};

struct IAppComponentList : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Count(int* count) = 0;
    // index: VT_I4, zero-based.
    virtual HRESULT STDMETHODCALLTYPE get_Item(VARIANT index, IAppComponent** component) = 0;
};

struct IAppComponent : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_ID(int* id) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_State(int* state) = 0;  // 200: not solid
    virtual HRESULT STDMETHODCALLTYPE get_IsSolid(VARIANT_BOOL* solid) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CriticalTemperature(IAppValue** value) = 0;  // deg C
    virtual HRESULT STDMETHODCALLTYPE get_CriticalPressure(IAppValue** value) = 0;     // kPa
};
