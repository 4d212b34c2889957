/* The "Envelope Options" dialog: its resource and control IDs and its
 * template, written once as preprocessor lists so that both the Windows
 * resource compiler (component/pyThreePhaseEnvelope.rc, DIALOG 201) and the
 * portable dialog runtime (options_dialog_template.cpp) build the same
 * dialog from it. Plain C preprocessor only: windres reads this file too.
 *
 * ENVELOPE_OPTIONS_CONTROLS(GROUP, RADIO, BUTTON, LABEL, EDIT) expands every
 * control in tab order, each through the macro of its kind:
 *   GROUP(text, x, y, cx, cy)            group box
 *   RADIO(text, id, x, y, cx, cy, style) auto radio button (style: extra flags)
 *   BUTTON(text, id, x, y, cx, cy)       push button
 *   LABEL(text, x, y, cx, cy)            static text
 *   EDIT(id, x, y, cx, cy)               bordered, auto-scrolling, read-only
 *                                        edit with a tab stop
 * Positions and sizes are dialog units.
 */
#ifndef PE_UI_OPTIONS_DIALOG_TEMPLATE_H
#define PE_UI_OPTIONS_DIALOG_TEMPLATE_H

#define IDD_ENVELOPE_OPTIONS 201

/* Envelope type radio buttons. No control has ID 207. */
#define IDC_ENVELOPE_PT 201
#define IDC_ENVELOPE_TV 202
#define IDC_ENVELOPE_PV 203
#define IDC_ENVELOPE_TH 204
#define IDC_ENVELOPE_PH 205
#define IDC_ENVELOPE_TS 206
#define IDC_ENVELOPE_PS 208

#define IDC_ENVELOPE_CLOSE 211
#define IDC_ENVELOPE_VIEW 212

/* Read-only fields of the envelope's special points. */
#define IDC_CRITICAL_TEMPERATURE 216
#define IDC_CRITICAL_PRESSURE 217
#define IDC_CRICONDENTHERM 221
#define IDC_CRICONDENBAR 222

#define ENVELOPE_OPTIONS_CAPTION "Envelope Options"
#define ENVELOPE_OPTIONS_FONT_NAME "MS Sans Serif"
#define ENVELOPE_OPTIONS_FONT_SIZE 8
#define ENVELOPE_OPTIONS_WIDTH 237
#define ENVELOPE_OPTIONS_HEIGHT 111
#define ENVELOPE_OPTIONS_STYLE (DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU)
#define ENVELOPE_OPTIONS_EDIT_STYLE (WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL | ES_READONLY)

/* clang-format off */
#define ENVELOPE_OPTIONS_CONTROLS(GROUP, RADIO, BUTTON, LABEL, EDIT)          \
    GROUP("Envelope Type", 7, 7, 72, 73)                                      \
    RADIO("PT", IDC_ENVELOPE_PT, 16, 19, 25, 10, WS_GROUP | WS_TABSTOP)       \
    RADIO("TV", IDC_ENVELOPE_TV, 46, 19, 25, 10, 0)                           \
    RADIO("PV", IDC_ENVELOPE_PV, 15, 32, 25, 10, 0)                           \
    RADIO("TH", IDC_ENVELOPE_TH, 46, 32, 26, 10, 0)                           \
    RADIO("PH", IDC_ENVELOPE_PH, 15, 46, 26, 10, 0)                           \
    RADIO("TS", IDC_ENVELOPE_TS, 46, 46, 25, 10, 0)                           \
    RADIO("PS", IDC_ENVELOPE_PS, 15, 60, 25, 10, 0)                           \
    BUTTON("Close", IDC_ENVELOPE_CLOSE, 180, 90, 50, 14)                      \
    BUTTON("View", IDC_ENVELOPE_VIEW, 7, 90, 50, 14)                          \
    GROUP("Envelope Properties", 86, 7, 144, 73)                              \
    LABEL("Critical Temperature (K)", 92, 19, 73, 8)                          \
    LABEL("Critical Pressure (kPa)", 92, 34, 73, 8)                           \
    LABEL("Criticondentherm (K)", 92, 49, 73, 8)                              \
    LABEL("Criticondenbar (kPa)", 92, 64, 73, 8)                              \
    EDIT(IDC_CRITICAL_TEMPERATURE, 171, 16, 53, 14)                           \
    EDIT(IDC_CRITICAL_PRESSURE, 171, 31, 53, 14)                              \
    EDIT(IDC_CRICONDENTHERM, 171, 46, 53, 14)                                 \
    EDIT(IDC_CRICONDENBAR, 171, 61, 53, 14)
/* clang-format on */

#endif /* PE_UI_OPTIONS_DIALOG_TEMPLATE_H */
