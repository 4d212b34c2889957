// Phases (IPhase + IPropContainer) and phase collections of the reference host.
#include <utility>

#include "pyrana/objects/host_objects.h"

namespace pyrana::objects {

namespace {
template <class T>
HRESULT Read(T value, T* out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = value;
    return S_OK;
}
}  // namespace

PhaseObject::PhaseObject(std::shared_ptr<HostState> state)
    : state_(std::move(state)),
      composition_(MakeObject<RealArray>(state_->feed.size(), 0.0)),
      lnPhi_(MakeObject<RealArray>(state_->feed.size(), kUndefined)) {}

HRESULT PhaseObject::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (Offer(riid, IID_IUnknown, static_cast<IPhase*>(this), ppv) ||
        Offer(riid, IID_IDispatch, static_cast<IPhase*>(this), ppv) ||
        Offer(riid, IID_IPhase, static_cast<IPhase*>(this), ppv) ||
        Offer(riid, IID_IPropContainer, static_cast<IPropContainer*>(this), ppv)) {
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT PhaseObject::get_PhaseType(int* value) {
    return HostCall("IPhase::get_PhaseType", [&] { return Read(type, value); });
}

HRESULT PhaseObject::put_PhaseType(int value) {
    return HostCall("IPhase::put_PhaseType", [&] {
        type = value;
        return S_OK;
    });
}

HRESULT PhaseObject::get_Active(int* value) {
    return HostCall("IPhase::get_Active", [&] { return Read(active, value); });
}

HRESULT PhaseObject::put_Active(int value) {
    return HostCall("IPhase::put_Active", [&] {
        active = value;
        return S_OK;
    });
}

HRESULT PhaseObject::get_Fraction(double* value) {
    return HostCall("IPhase::get_Fraction", [&] { return Read(fraction, value); });
}

HRESULT PhaseObject::put_Fraction(double value) {
    return HostCall("IPhase::put_Fraction", [&] {
        fraction = value;
        return S_OK;
    });
}

HRESULT PhaseObject::put_Pressure(double kPa) {
    return HostCall("IPhase::put_Pressure", [&] {
        p = kPa;
        return S_OK;
    });
}

HRESULT PhaseObject::get_Pressure(double* kPa) {
    return HostCall("IPhase::get_Pressure", [&] { return Read(p, kPa); });
}

HRESULT PhaseObject::get_Temperature(double* kelvin) {
    return HostCall("IPhase::get_Temperature", [&] { return Read(t, kelvin); });
}

HRESULT PhaseObject::put_Temperature(double kelvin) {
    return HostCall("IPhase::put_Temperature", [&] {
        t = kelvin;
        return S_OK;
    });
}

HRESULT PhaseObject::get_Enthalpy(double* value) {
    return HostCall("IPhase::get_Enthalpy", [&] { return Read(h, value); });
}

HRESULT PhaseObject::put_Enthalpy(double value) {
    return HostCall("IPhase::put_Enthalpy", [&] {
        h = value;
        return S_OK;
    });
}

HRESULT PhaseObject::get_Entropy(double* value) {
    return HostCall("IPhase::get_Entropy", [&] { return Read(s, value); });
}

HRESULT PhaseObject::put_Entropy(double value) {
    return HostCall("IPhase::put_Entropy", [&] {
        s = value;
        return S_OK;
    });
}

HRESULT PhaseObject::get_MolarVolume(double* value) {
    return HostCall("IPhase::get_MolarVolume", [&] { return Read(v, value); });
}

HRESULT PhaseObject::get_CompositionObject(IDispatch** out) {
    return HostCall("IPhase::get_CompositionObject",
                    [&] { return HandOut(static_cast<IDispatch*>(composition_.Get()), out); });
}

HRESULT PhaseObject::get_Composition(IRealArrayDisp** out) {
    return HostCall("IPhase::get_Composition",
                    [&] { return HandOut(static_cast<IRealArrayDisp*>(composition_.Get()), out); });
}

HRESULT PhaseObject::get_LnFugacityCoeff(IRealArrayDisp** out) {
    return HostCall("IPhase::get_LnFugacityCoeff",
                    [&] { return HandOut(static_cast<IRealArrayDisp*>(lnPhi_.Get()), out); });
}

HRESULT PhaseObject::ResetProperties(int mask) {
    return HostCall("IPhase::ResetProperties", [&] {
        if (mask & kResetEnthalpy) {
            h = kUndefined;
        }
        if (mask & kResetEntropy) {
            s = kUndefined;
        }
        if (mask & kResetMolarVolume) {
            v = kUndefined;
        }
        if (mask & kResetLnFugacityCoeff) {
            lnPhi().assign(lnPhi().size(), kUndefined);
        }
        return S_OK;
    });
}

HRESULT PhaseObject::SetProperty(int propID, VARIANT value) {
    return HostCall("IPropContainer::SetProperty", [&] {
        if (state_->PropertyName(propID) == nullptr) {
            return E_INVALIDARG;
        }
        auto slot = std::make_unique<OwnedVariant>();
        const HRESULT hr = VariantCopy(&slot->v, &value);
        if (FAILED(hr)) {
            return hr;
        }
        properties_[propID] = std::move(slot);
        return S_OK;
    });
}

HRESULT PhaseObject::GetProperty(int propID, VARIANT* value) {
    return HostCall("IPropContainer::GetProperty", [&] {
        if (value == nullptr) {
            return E_POINTER;
        }
        if (state_->PropertyName(propID) == nullptr) {
            return E_INVALIDARG;
        }
        VariantInit(value);
        const auto it = properties_.find(propID);
        if (it == properties_.end()) {
            V_VT(value) = VT_R8;
            V_R8(value) = kUndefined;
            return S_OK;
        }
        return VariantCopy(value, &it->second->v);
    });
}

void PhaseObject::Take(const thermo::PhaseResult& result, double tK, double pKpa) {
    type = static_cast<int>(result.type);
    active = 1;
    fraction = result.fraction;
    t = tK;
    p = pKpa;
    h = result.h;
    s = result.s;
    v = result.v;
    composition().assign(result.x.begin(), result.x.end());
    lnPhi().assign(composition().size(), kUndefined);
}

void PhaseObject::Clear(const std::vector<double>& feed, double tK, double pKpa) {
    active = 0;
    fraction = 0.0;
    t = tK;
    p = pKpa;
    h = s = v = kUndefined;
    composition().assign(feed.begin(), feed.end());
    lnPhi().assign(feed.size(), kUndefined);
}

PhaseCollection::PhaseCollection(std::shared_ptr<HostState> state) : state_(std::move(state)) {
    conditions_ = MakeObject<PhaseObject>(state_);
    vapour_ = MakeObject<PhaseObject>(state_);
    liquid0_ = MakeObject<PhaseObject>(state_);
    liquid1_ = MakeObject<PhaseObject>(state_);
    conditions_->active = 1;
    conditions_->composition() = state_->feed;
    ClearResults(kUndefined, kUndefined);
    vapour_->type = kPhaseTypeVapour;
    liquid0_->type = kPhaseTypeLiquid;
    liquid1_->type = kPhaseTypeLiquid;
}

HRESULT PhaseCollection::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (Offer(riid, IID_IUnknown, this, ppv) || Offer(riid, IID_IDispatch, this, ppv) ||
        Offer(riid, IID_IPhaseCollection, this, ppv)) {
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT PhaseCollection::get_Compounds(IDispatch** compounds) {
    return HostCall("IPhaseCollection::get_Compounds", [&] {
        if (compounds == nullptr) {
            return E_POINTER;
        }
        *compounds = MakeObject<CompoundCollection>(state_).Detach();
        return S_OK;
    });
}

HRESULT PhaseCollection::put_Mode(int mode) {
    return HostCall("IPhaseCollection::put_Mode", [&] {
        mode_ = mode;
        return S_OK;
    });
}

PhaseObject* PhaseCollection::Find(int kind, int index) {
    if (kind == kPhaseKindSpecification && index == 0) {
        return conditions_.Get();
    }
    if (kind == kPhaseKindVapour && index == 0) {
        return vapour_.Get();
    }
    if (kind == kPhaseKindLiquid && index == 0) {
        return liquid0_.Get();
    }
    if (kind == kPhaseKindLiquid && index == 1) {
        return liquid1_.Get();
    }
    return nullptr;
}

HRESULT PhaseCollection::GetPhase(int kind, int index, IDispatch** phase) {
    return HostCall("IPhaseCollection::GetPhase", [&] {
        if (phase == nullptr) {
            return E_POINTER;
        }
        *phase = nullptr;
        PhaseObject* found = Find(kind, index);
        if (found == nullptr) {
            return E_INVALIDARG;
        }
        return HandOut(static_cast<IPhase*>(found), phase);
    });
}

HRESULT PhaseCollection::put_NumberOfPhases(int n) {
    return HostCall("IPhaseCollection::put_NumberOfPhases", [&] {
        if (n < 1 || n > 16) {
            return E_INVALIDARG;
        }
        const size_t old = numbered_.size();
        numbered_.resize(static_cast<size_t>(n));
        for (size_t i = old; i < numbered_.size(); ++i) {
            numbered_[i] = MakeObject<PhaseObject>(state_);
            PhaseObject& ph = *numbered_[i].Get();
            ph.active = 1;
            ph.composition() = state_->feed;
        }
        for (auto& ph : numbered_) {
            ph->fraction = 1.0 / n;
        }
        return S_OK;
    });
}

HRESULT PhaseCollection::get_Phase(int index, IDispatch** phase) {
    return HostCall("IPhaseCollection::get_Phase", [&] {
        if (phase == nullptr) {
            return E_POINTER;
        }
        *phase = nullptr;
        if (index < 0 || static_cast<size_t>(index) >= numbered_.size()) {
            return E_INVALIDARG;
        }
        return HandOut(static_cast<IPhase*>(numbered_[static_cast<size_t>(index)].Get()), phase);
    });
}

void PhaseCollection::ClearResults(double t, double p) {
    for (PhaseObject* ph : {vapour_.Get(), liquid0_.Get(), liquid1_.Get()}) {
        ph->Clear(state_->feed, t, p);
    }
}

void PhaseCollection::TakeResult(const thermo::FlashResult& result) {
    ClearResults(result.t, result.p);
    const int vapour = result.VapourIndex();
    const int liquid0 = result.LiquidIndex(0);
    const int liquid1 = result.LiquidIndex(1);
    if (vapour >= 0) {
        vapour_->Take(result.phases[static_cast<size_t>(vapour)], result.t, result.p);
    }
    if (liquid0 >= 0) {
        liquid0_->Take(result.phases[static_cast<size_t>(liquid0)], result.t, result.p);
    }
    if (liquid1 >= 0) {
        liquid1_->Take(result.phases[static_cast<size_t>(liquid1)], result.t, result.p);
    }
    // Absent phases keep the type of their kind.
    vapour_->type = kPhaseTypeVapour;
    liquid0_->type = kPhaseTypeLiquid;
    liquid1_->type = kPhaseTypeLiquid;
}

}  // namespace pyrana::objects
