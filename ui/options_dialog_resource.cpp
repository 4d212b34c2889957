// The options dialog's template as the module's resource 201: taken from the
// resource section on Windows, built from ENVELOPE_OPTIONS_CONTROLS and
// registered with the dialog runtime elsewhere.
#include "ui/options_dialog_resource.h"

#include "ui/options_dialog_template.h"

HINSTANCE OptionsDialogModule() {
    return platform::ThisModule();
}

#ifdef _WIN32

void RegisterOptionsDialogTemplate() {}

#else

namespace {

// One DialogItemTemplate per control of the list.
#define PE_GROUP(text, x, y, cx, cy) \
    {platform::DialogItemKind::kGroupBox, -1, text, x, y, cx, cy, BS_GROUPBOX},
#define PE_RADIO(text, id, x, y, cx, cy, style)  \
    {platform::DialogItemKind::kAutoRadioButton, \
     id,                                         \
     text,                                       \
     x,                                          \
     y,                                          \
     cx,                                         \
     cy,                                         \
     BS_AUTORADIOBUTTON | (style)},
#define PE_BUTTON(text, id, x, y, cx, cy) \
    {platform::DialogItemKind::kPushButton, id, text, x, y, cx, cy, BS_PUSHBUTTON | WS_TABSTOP},
#define PE_LABEL(text, x, y, cx, cy) \
    {platform::DialogItemKind::kStatic, -1, text, x, y, cx, cy, SS_LEFT | WS_GROUP},
#define PE_EDIT(id, x, y, cx, cy) \
    {platform::DialogItemKind::kEdit, id, nullptr, x, y, cx, cy, ENVELOPE_OPTIONS_EDIT_STYLE},

const platform::DialogItemTemplate kItems[] = {
    ENVELOPE_OPTIONS_CONTROLS(PE_GROUP, PE_RADIO, PE_BUTTON, PE_LABEL, PE_EDIT)};

#undef PE_GROUP
#undef PE_RADIO
#undef PE_BUTTON
#undef PE_LABEL
#undef PE_EDIT

const platform::DialogTemplate kTemplate = {
    ENVELOPE_OPTIONS_CAPTION,
    ENVELOPE_OPTIONS_FONT_NAME,
    ENVELOPE_OPTIONS_FONT_SIZE,
    ENVELOPE_OPTIONS_WIDTH,
    ENVELOPE_OPTIONS_HEIGHT,
    ENVELOPE_OPTIONS_STYLE,
    kItems,
    static_cast<int>(sizeof kItems / sizeof kItems[0]),
};

}  // namespace

const platform::DialogTemplate& OptionsDialogTemplate() {
    return kTemplate;
}

// Registered on every call: cheap, and a registration removed meanwhile (a
// test isolating the runtime) comes back.
void RegisterOptionsDialogTemplate() {
    platform::RegisterDialogTemplate(OptionsDialogModule(), IDD_ENVELOPE_OPTIONS, kTemplate);
}

#endif
