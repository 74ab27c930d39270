#pragma once
// The two dialog templates as a user's screen must show them (every control in template
// order with its ID, class, text, style, position and size), and the font they are drawn in.
#include <windows.h>

#include <string>
#include <vector>

#include "checks.h"

namespace quorv::gui {

struct ControlSpec {
    int id;
    const char* class_name;
    const char* text;  // nullptr: set at run time, checked on its own
    DWORD style;
    int x, y, width, height;  // dialog units; a width of 0: the control sizes itself
};

extern const std::vector<ControlSpec> kMainControls;
extern const std::vector<ControlSpec> kAboutControls;

// Compares the children of a window, in Z order, with the table.
void check_controls(Checks& c, const std::string& where, HWND parent, const std::vector<ControlSpec>& controls);

// The templates' font, MS Sans Serif 8, in the driver's own device context: the face and
// size the window's controls draw with.
class TemplateFont {
  public:
    TemplateFont();
    ~TemplateFont();
    TemplateFont(const TemplateFont&) = delete;
    TemplateFont& operator=(const TemplateFont&) = delete;

    int width(const std::string& text) const;
    int average_char_width() const { return metrics_.tmAveCharWidth; }
    // Dialog base units as the dialog manager takes them: the average width of the 52
    // letters, and the font height.
    SIZE base_units() const;

  private:
    HDC dc_;
    HFONT font_;
    HGDIOBJ previous_;
    TEXTMETRICA metrics_{};
};

SIZE dialog_base_units();

// The horizontal extent a fill of these rows must leave: the widest row plus the font's
// average character width, so that every row can be scrolled into full view.
int expected_extent(const std::vector<std::string>& rows);

}  // namespace quorv::gui
