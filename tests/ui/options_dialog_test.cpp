// The options dialog driven by scripts: what it shows when it opens, the
// envelope type each radio button hands the plot view, how it ends, what
// happens when the view cannot be created, and the dialog step of a whole
// calculation through Execute.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "driver/envelope_calculation.h"
#include "platform/com.h"
#include "platform/dialog_runtime.h"
#include "pyrana/objects/host.h"
#include "tests/support/envelope_harness.h"
#include "tests/support/fake_com.h"
#include "tests/ui/view_doubles.h"
#include "ui/options_dialog_driver.h"
#include "ui/options_dialog_resource.h"
#include "ui/phase_envelope_dlg.h"

namespace {

pyrana::thermo::Fluid Propane() {
    pyrana::thermo::FluidDefinition def;
    def.Add("propane");
    std::string error;
    return *pyrana::thermo::Fluid::Create(def, &error);
}

class OptionsDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        liveBefore_ = platform::LiveObjectCount();
        host_ = std::make_unique<pyrana::objects::Host>(Propane(), std::vector<double>{1.0});
        registry_ = host_->PropertyRegistry();
        container_ = host_->NewPropertyContainer();
        container_->QueryInterface(IID_IPropContainer, results_.put_void());
        manager_ = platform::ComPtr<IPropManager>::Adopt(new RegistryPropManager(registry_.Get()));
        for (const char* name :
             {"2PhaseCriticalP", "2PhaseCriticalT", "Cricondentherm", "Cricondenbar"}) {
            Id(name);
        }
    }
    void TearDown() override {
        manager_ = nullptr;
        results_ = nullptr;
        container_ = nullptr;
        registry_ = nullptr;
        host_.reset();
        EXPECT_EQ(platform::LiveObjectCount(), liveBefore_) << platform::LiveObjectReport();
        CoUninitialize();
    }

    LONG Id(const char* name) {
        platform::Bstr b(name);
        LONG id = -1;
        registry_->AddPropertyByName(b.Get(), &id);
        return id;
    }
    void Set(const char* name, double value) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_R8;
        v.dblVal = value;
        ASSERT_EQ(results_->SetProperty(Id(name), v), S_OK);
    }

    // Runs the dialog step with `actions`; returns the texts of the four
    // fields and the checked radios as the dialog opened.
    HRESULT Run(std::vector<platform::DialogAction> actions, IPropManager* manager) {
        opened_.clear();
        checked_.clear();
        actions.insert(actions.begin(), platform::DialogAction::Inspect([this](const auto& s) {
                           for (int id : {IDC_CRITICAL_TEMPERATURE, IDC_CRITICAL_PRESSURE,
                                          IDC_CRICONDENTHERM, IDC_CRICONDENBAR}) {
                               opened_[id] = s.ItemText(id);
                           }
                           for (int id = IDC_ENVELOPE_PT; id <= IDC_ENVELOPE_PS; ++id) {
                               if (s.IsChecked(id))
                                   checked_.push_back(id);
                           }
                       }));
        platform::ScriptedDialogDriver script(std::move(actions));
        platform::ScopedDialogDriver use(&script);
        const HRESULT hr = ShowOptionsDialog(nullptr, nullptr, nullptr, container_.Get(), manager);
        dialogsRun_ = script.DialogsRun();
        refused_ = script.RefusedActions();
        return hr;
    }

    long liveBefore_ = 0;
    std::unique_ptr<pyrana::objects::Host> host_;
    platform::ComPtr<IPropertyEnumerationRegistry> registry_;
    platform::ComPtr<IPhase> container_;
    platform::ComPtr<IPropContainer> results_;
    platform::ComPtr<IPropManager> manager_;
    std::map<int, std::string> opened_;
    std::vector<int> checked_;
    int dialogsRun_ = 0;
    int refused_ = 0;
};

TEST_F(OptionsDialogTest, OpensWithPtCheckedAndTheSpecialPointsInShortestForm) {
    RecordingViewClass views;
    Set("2PhaseCriticalT", 101.325);
    Set("2PhaseCriticalP", 0.00001);
    Set("Cricondenbar", 12345.678);
    // "Cricondentherm" is never set: the container answers the undefined
    // marker, shown as an empty field.
    ASSERT_EQ(Run({platform::DialogAction::Close()}, manager_.Get()), S_OK);
    EXPECT_EQ(dialogsRun_, 1);
    EXPECT_EQ(checked_, std::vector<int>{IDC_ENVELOPE_PT});
    EXPECT_EQ(opened_[IDC_CRITICAL_TEMPERATURE], "101.325");
    EXPECT_EQ(opened_[IDC_CRITICAL_PRESSURE], "1e-05");
    EXPECT_EQ(opened_[IDC_CRICONDENTHERM], "");
    EXPECT_EQ(opened_[IDC_CRICONDENBAR], "12345.7");
    EXPECT_EQ(views.viewsCreated(), 1);
    EXPECT_TRUE(views.calls().empty()) << "closing shows nothing";
}

TEST_F(OptionsDialogTest, OnATerminalTheFieldsStandBesideTheirLabels) {
    RecordingViewClass views;
    Set("2PhaseCriticalT", 190.564);
    Set("Cricondenbar", 4599.2);
    std::istringstream in("ts\nview\nclose\n");
    std::ostringstream out;
    OptionsDialogDriver terminal(in, out);
    ASSERT_EQ(ShowOptionsDialog(nullptr, nullptr, nullptr, container_.Get(), manager_.Get()), S_OK);
    const std::string shown = out.str();
    EXPECT_NE(shown.find("== Envelope Options =="), std::string::npos) << shown;
    EXPECT_NE(shown.find("Critical Temperature (K): 190.564"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Critical Pressure (kPa): -"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Criticondenbar (kPa): 4599.2"), std::string::npos) << shown;
    EXPECT_NE(shown.find("(*) PT  ( ) TV  ( ) PV  ( ) TH  ( ) PH  ( ) TS  ( ) PS"),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("[Close] [View]"), std::string::npos) << shown;
    ASSERT_EQ(views.calls().size(), 2u);
    EXPECT_EQ(views.calls()[0].envelopeType, etTS);
}

TEST_F(OptionsDialogTest, AValueTheContainerDoesNotDeliverRepeatsThePreviousOne) {
    RecordingViewClass views;
    // Read in the order pressure, temperature, cricondentherm, cricondenbar:
    // a name the registry does not know delivers nothing, so the field shows
    // the value read before it.
    Set("2PhaseCriticalP", 4250.5);
    Set("Cricondentherm", 370.0);
    Set("Cricondenbar", 4300.0);
    struct ForgetfulRegistry final : public IPropertyEnumerationRegistry {
        explicit ForgetfulRegistry(IPropertyEnumerationRegistry* r) : inner(r) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
            return inner->QueryInterface(riid, ppv);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
        ULONG STDMETHODCALLTYPE Release() override { return 1; }
        HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override {
            return E_NOTIMPL;
        }
        HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
            return E_NOTIMPL;
        }
        HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                         EXCEPINFO*, UINT*) override {
            return E_NOTIMPL;
        }
        HRESULT STDMETHODCALLTYPE GetPropertyIDByName(BSTR name, LONG* id) override {
            if (std::wstring(name) == L"2PhaseCriticalT")
                return E_INVALIDARG;
            return inner->GetPropertyIDByName(name, id);
        }
        HRESULT STDMETHODCALLTYPE AddPropertyByName(BSTR name, LONG* id) override {
            return inner->AddPropertyByName(name, id);
        }
        IPropertyEnumerationRegistry* inner;
    } forgetful(registry_.Get());
    auto* manager = new RegistryPropManager(&forgetful);
    ASSERT_EQ(Run({platform::DialogAction::Close()}, manager), S_OK);
    manager->Release();
    EXPECT_EQ(opened_[IDC_CRITICAL_PRESSURE], "4250.5");
    EXPECT_EQ(opened_[IDC_CRITICAL_TEMPERATURE], "4250.5");
    EXPECT_EQ(opened_[IDC_CRICONDENTHERM], "370");
}

TEST_F(OptionsDialogTest, EachRadioButtonHandsItsEnvelopeTypeToTheView) {
    const std::map<int, EnvelopeType> expected = {{IDC_ENVELOPE_PT, etPT}, {IDC_ENVELOPE_PV, etPV},
                                                  {IDC_ENVELOPE_PH, etPH}, {IDC_ENVELOPE_PS, etPS},
                                                  {IDC_ENVELOPE_TV, etTV}, {IDC_ENVELOPE_TH, etTH},
                                                  {IDC_ENVELOPE_TS, etTS}};
    for (const auto& [radio, type] : expected) {
        RecordingViewClass views;
        ASSERT_EQ(Run({platform::DialogAction::Check(radio),
                       platform::DialogAction::Press(IDC_ENVELOPE_VIEW),
                       platform::DialogAction::Press(IDC_ENVELOPE_CLOSE)},
                      manager_.Get()),
                  S_OK);
        EXPECT_EQ(refused_, 0);
        ASSERT_EQ(views.calls().size(), 2u) << "radio " << radio;
        const ViewCall& update = views.calls()[0];
        EXPECT_EQ(update.method, "Update");
        EXPECT_EQ(update.envelopeType, type) << "radio " << radio;
        EXPECT_EQ(update.results, static_cast<IDispatch*>(container_.Get()));
        EXPECT_NE(update.registry, nullptr);
        EXPECT_EQ(views.calls()[1].method, "Show");
        EXPECT_NE(views.calls()[1].owner, 0) << "the dialog owns the view's window";
    }
}

TEST_F(OptionsDialogTest, ViewWithoutAChoiceSendsPtAndTheLastChoiceWins) {
    RecordingViewClass views;
    ASSERT_EQ(
        Run({platform::DialogAction::Press(IDC_ENVELOPE_VIEW),
             platform::DialogAction::Check(IDC_ENVELOPE_TS),
             platform::DialogAction::Check(IDC_ENVELOPE_PV),
             platform::DialogAction::Press(IDC_ENVELOPE_VIEW), platform::DialogAction::Close()},
            manager_.Get()),
        S_OK);
    ASSERT_EQ(views.calls().size(), 4u);
    EXPECT_EQ(views.calls()[0].envelopeType, etPT);
    EXPECT_EQ(views.calls()[2].envelopeType, etPV);
}

TEST_F(OptionsDialogTest, CloseButtonAndWindowCloseEndTheDialogWithZero) {
    RecordingViewClass views;
    for (const platform::DialogAction& end :
         {platform::DialogAction::Press(IDC_ENVELOPE_CLOSE), platform::DialogAction::Close()}) {
        CPhaseEnvelopeDlg dialog;
        dialog.Attach(nullptr, nullptr, nullptr, container_.Get(), manager_.Get());
        // A later action must find the dialog ended.
        platform::ScriptedDialogDriver script(
            {end, platform::DialogAction::Press(IDC_ENVELOPE_VIEW)});
        platform::ScopedDialogDriver use(&script);
        EXPECT_EQ(dialog.DoModal(nullptr), 0);
        EXPECT_EQ(script.RefusedActions(), 0) << "actions after the end are not played";
    }
    EXPECT_TRUE(views.calls().empty());
}

TEST_F(OptionsDialogTest, WithoutADriverTheDialogIsClosedAtOnce) {
    RecordingViewClass views;
    platform::ScopedDialogDriver none(nullptr);
    CPhaseEnvelopeDlg dialog;
    dialog.Attach(nullptr, nullptr, nullptr, container_.Get(), manager_.Get());
    EXPECT_EQ(dialog.DoModal(nullptr), 0);
    EXPECT_EQ(dialog.envelopeType(), etPT);
}

TEST_F(OptionsDialogTest, AViewThatCannotBeCreatedGivesTheCreationResult) {
    // No view class at all: the ProgID does not resolve.
    EXPECT_EQ(Run({platform::DialogAction::Close()}, manager_.Get()), CO_E_CLASSSTRING);
    EXPECT_EQ(dialogsRun_, 0);
    {
        RecordingViewClass refusing(E_ACCESSDENIED);
        EXPECT_EQ(Run({platform::DialogAction::Close()}, manager_.Get()), E_ACCESSDENIED);
        EXPECT_EQ(dialogsRun_, 0);
    }
}

// A property manager that answers no property-name registry.
class PlainManager : public FakeObject<IPropManager> {
  public:
    HRESULT STDMETHODCALLTYPE CalcProperty(int, IPhase*) override { return E_NOTIMPL; }
};

TEST_F(OptionsDialogTest, AManagerWithoutARegistryLeavesTheFieldsEmpty) {
    RecordingViewClass views;
    Set("2PhaseCriticalT", 300.0);
    PlainManager plain;
    ASSERT_EQ(
        Run({platform::DialogAction::Press(IDC_ENVELOPE_VIEW), platform::DialogAction::Close()},
            &plain),
        S_OK);
    EXPECT_EQ(plain.refs, 1u);
    EXPECT_EQ(opened_[IDC_CRITICAL_TEMPERATURE], "");
    ASSERT_EQ(views.calls().size(), 2u);
    EXPECT_EQ(views.calls()[0].registry, nullptr);
}

TEST_F(OptionsDialogTest, PlotScriptAndAxesNamesAgree) {
    for (int t = etPT; t <= etTS; ++t) {
        EnvelopeType parsed = etPT;
        const std::string name = EnvelopeAxesName(static_cast<EnvelopeType>(t));
        ASSERT_TRUE(ParseEnvelopeAxes(name, &parsed)) << name;
        EXPECT_EQ(parsed, t);
        std::string lower = name;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(c));
        ASSERT_TRUE(ParseEnvelopeAxes(lower, &parsed));
        EXPECT_EQ(parsed, t);

        RecordingViewClass views;
        OptionsDialogDriver plot(static_cast<EnvelopeType>(t));
        ASSERT_EQ(ShowOptionsDialog(nullptr, nullptr, nullptr, container_.Get(), manager_.Get()),
                  S_OK);
        EXPECT_EQ(plot.DialogsRun(), 1);
        ASSERT_EQ(views.calls().size(), 2u);
        EXPECT_EQ(views.calls()[0].envelopeType, t) << name;
    }
    EnvelopeType untouched = etTS;
    for (const char* bad : {"", "P", "TP", "PTX", "VT"}) {
        EXPECT_FALSE(ParseEnvelopeAxes(bad, &untouched)) << bad;
    }
    EXPECT_EQ(untouched, etTS);
}

TEST_F(OptionsDialogTest, TemplateHasEveryControlInsideTheDialogAndNoId207) {
    const platform::DialogTemplate& t = OptionsDialogTemplate();
    EXPECT_STREQ(t.caption, "Envelope Options");
    EXPECT_EQ(t.cx, 237);
    EXPECT_EQ(t.cy, 111);
    int radios = 0;
    std::vector<int> types;
    for (int i = 0; i < t.itemCount; ++i) {
        const platform::DialogItemTemplate& c = t.items[i];
        EXPECT_NE(c.id, 207);
        EXPECT_LE(c.x + c.cx, t.cx) << c.text;
        EXPECT_LE(c.y + c.cy, t.cy) << c.text;
        if (c.kind == platform::DialogItemKind::kAutoRadioButton) {
            ++radios;
            types.push_back(EnvelopeTypeOfRadio(c.id));
            EXPECT_EQ(RadioOfEnvelopeType(EnvelopeTypeOfRadio(c.id)), c.id);
            // Only the first radio button starts the group.
            EXPECT_EQ((c.style & WS_GROUP) != 0, radios == 1) << c.text;
        }
        if (c.kind == platform::DialogItemKind::kEdit) {
            EXPECT_NE(c.style & ES_READONLY, 0u);
        }
    }
    EXPECT_EQ(radios, 7);
    std::sort(types.begin(), types.end());
    EXPECT_EQ(types, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
}

// --- A whole calculation -----------------------------------------------------

// Runs a full calculation (Execute's steps, bCalculationOnly 0) with the
// options dialog as its dialog step.
HRESULT CalculateWithDialog(EnvelopeHarness& harness) {
    EnvelopeCalculation calculation(harness.object(), harness.utility(), &ShowOptionsDialog);
    return calculation.Run(nullptr, harness.phases(), harness.container(), 1, 0, 0);
}

// The number of point types written to the container, and a scalar.
int StoredRows(EnvelopeHarness& harness) {
    platform::ComPtr<IPropContainer> container;
    harness.container()->QueryInterface(IID_IPropContainer, container.put_void());
    VARIANT v;
    VariantInit(&v);
    container->GetProperty(harness.host().PropertyId("TypeOfDataPoint"), &v);
    LONG n = 0;
    platform::ComPtr<IRealArrayDisp> types;
    if (v.vt == VT_DISPATCH && v.pdispVal != nullptr &&
        SUCCEEDED(v.pdispVal->QueryInterface(IID_IRealArrayDisp, types.put_void()))) {
        types->get_Size(&n);
    }
    VariantClear(&v);
    return n;
}

double Scalar(EnvelopeHarness& harness, const char* name) {
    platform::ComPtr<IPropContainer> container;
    harness.container()->QueryInterface(IID_IPropContainer, container.put_void());
    VARIANT v;
    VariantInit(&v);
    container->GetProperty(harness.host().PropertyId(name), &v);
    const double d = v.vt == VT_R8 ? v.dblVal : -1.0;
    VariantClear(&v);
    return d;
}

class CalculationDialogTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(CoInitialize(nullptr), S_OK); }
    void TearDown() override { CoUninitialize(); }
    const FluidSpec binary_{{{"methane", 0.5}, {"n-decane", 0.5}}, {}};
};

TEST_F(CalculationDialogTest, AFullCalculationShowsTheDialogWithItsResults) {
    RecordingViewClass views;
    EnvelopeHarness harness(binary_);
    OptionsDialogDriver plot(etTH);
    ASSERT_EQ(CalculateWithDialog(harness), S_OK);
    EXPECT_EQ(plot.DialogsRun(), 1);
    ASSERT_EQ(views.calls().size(), 2u);
    EXPECT_EQ(views.calls()[0].envelopeType, etTH);
    // The view is handed the container that holds the results.
    EXPECT_EQ(views.calls()[0].results, static_cast<IDispatch*>(harness.container()));
    EXPECT_GT(StoredRows(harness), 0);
}

TEST_F(CalculationDialogTest, AViewThatCannotBeCreatedEndsTheCalculationWithTheResultsWritten) {
    RecordingViewClass refusing(E_OUTOFMEMORY);
    EnvelopeHarness harness(binary_);
    platform::ScriptedDialogDriver script({platform::DialogAction::Close()});
    platform::ScopedDialogDriver use(&script);
    EXPECT_EQ(CalculateWithDialog(harness), E_OUTOFMEMORY);
    EXPECT_EQ(script.DialogsRun(), 0);
    EXPECT_GT(StoredRows(harness), 0) << "the results stay written";
    EXPECT_GT(Scalar(harness, "2PhaseCriticalT"), 0.0);
}

TEST_F(CalculationDialogTest, CalculationOnlyShowsNoDialog) {
    // No view class is offered: showing the dialog would fail.
    EnvelopeHarness harness(binary_);
    platform::ScriptedDialogDriver script({platform::DialogAction::Close()});
    platform::ScopedDialogDriver use(&script);
    EnvelopeCalculation calculation(harness.object(), harness.utility(), &ShowOptionsDialog);
    EXPECT_EQ(calculation.Run(nullptr, harness.phases(), harness.container(), 1, 1, 0), S_OK);
    EXPECT_EQ(script.DialogsRun(), 0);
}

}  // namespace
