// The terminal driver of the dialog runtime: shows a running dialog as text
// and turns the user's typed choices into clicks.
#include <unistd.h>

#include <cctype>
#include <istream>
#include <ostream>
#include <sstream>

#include "platform/dialog_runtime.h"

namespace platform {
namespace {

bool Inside(const DialogItemState& box, const DialogItemState& item) {
    return item.x >= box.x && item.y >= box.y && item.x + item.cx <= box.x + box.cx &&
           item.y + item.cy <= box.y + box.cy;
}

// The edit field to the right of a label whose rows overlap its middle.
const DialogItemState* FieldBeside(const std::vector<DialogItemState>& items,
                                   const DialogItemState& label) {
    const int middle = label.y + label.cy / 2;
    const DialogItemState* best = nullptr;
    for (const DialogItemState& item : items) {
        if (item.kind != DialogItemKind::kEdit || item.x < label.x)
            continue;
        if (middle < item.y || middle > item.y + item.cy)
            continue;
        if (best == nullptr || item.x < best->x)
            best = &item;
    }
    return best;
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

bool Clickable(const DialogItemState& item) {
    return item.kind == DialogItemKind::kAutoRadioButton ||
           item.kind == DialogItemKind::kPushButton;
}

// The clickable control the user named: an exact text first, else the only
// one whose text starts with at least two typed letters. Null if none.
const DialogItemState* Named(const std::vector<DialogItemState>& items, const std::string& typed) {
    const std::string want = Lower(typed);
    for (const DialogItemState& item : items) {
        if (Clickable(item) && Lower(item.text) == want)
            return &item;
    }
    if (want.size() < 2)
        return nullptr;
    const DialogItemState* match = nullptr;
    for (const DialogItemState& item : items) {
        if (!Clickable(item) || Lower(item.text).compare(0, want.size(), want) != 0)
            continue;
        if (match != nullptr)
            return nullptr;
        match = &item;
    }
    return match;
}

}  // namespace

std::string TerminalDialogDriver::Render(const DialogSession& session) {
    const std::vector<DialogItemState>& items = session.Items();
    std::ostringstream out;
    out << "== " << session.Caption() << " ==\n";
    std::vector<bool> shown(items.size(), false);
    auto showControls = [&](const DialogItemState* box, const char* indent) {
        std::string radios;
        for (size_t i = 0; i < items.size(); ++i) {
            const DialogItemState& item = items[i];
            if (shown[i] || item.kind == DialogItemKind::kGroupBox)
                continue;
            if (box != nullptr && !Inside(*box, item))
                continue;
            if (item.kind == DialogItemKind::kAutoRadioButton) {
                radios += std::string(radios.empty() ? "" : "  ") +
                          (item.checked ? "(*) " : "( ) ") + item.text;
                shown[i] = true;
            } else if (item.kind == DialogItemKind::kStatic) {
                const DialogItemState* field = FieldBeside(items, item);
                out << indent << item.text;
                if (field != nullptr) {
                    out << ": " << (field->text.empty() ? "-" : field->text);
                    shown[static_cast<size_t>(field - items.data())] = true;
                }
                out << "\n";
                shown[i] = true;
            }
        }
        if (!radios.empty())
            out << indent << radios << "\n";
    };
    for (const DialogItemState& item : items) {
        if (item.kind != DialogItemKind::kGroupBox)
            continue;
        out << item.text << "\n";
        showControls(&item, "  ");
    }
    showControls(nullptr, "");
    std::string buttons;
    for (const DialogItemState& item : items) {
        if (item.kind == DialogItemKind::kPushButton)
            buttons += "[" + item.text + "] ";
    }
    if (!buttons.empty())
        out << Trim(buttons) << "\n";
    return out.str();
}

void TerminalDialogDriver::Run(DialogSession& session) {
    out_ << Render(session);
    std::string line;
    while (!session.Ended()) {
        out_ << "> " << std::flush;
        if (!std::getline(in_, line)) {
            out_ << "\n";
            session.Close();
            break;
        }
        const std::string typed = Trim(line);
        if (typed.empty())
            continue;
        const DialogItemState* item = Named(session.Items(), typed);
        if (item == nullptr && Lower(typed) == "close") {
            session.Close();
        } else if (item == nullptr) {
            out_ << "No control '" << typed << "'; type the text of a button.\n";
            continue;
        } else if (item->kind == DialogItemKind::kAutoRadioButton) {
            session.ClickRadio(item->id);
        } else {
            session.PressButton(item->id);
        }
        if (!session.Ended())
            out_ << Render(session);
    }
}

bool StdioIsTerminal() {
    return isatty(0) != 0 && isatty(1) != 0;
}

}  // namespace platform
