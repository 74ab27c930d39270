#include "templates.h"

#include <algorithm>

#include "remote_ui.h"
#include "ui/control_ids.h"

namespace quorv::gui {
namespace {
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kListStyle = kChild | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_BORDER | WS_TABSTOP;
constexpr DWORD kLabelStyle = kChild | SS_LEFT | WS_GROUP;
constexpr DWORD kButtonStyle = kChild | BS_PUSHBUTTON | WS_TABSTOP;

RECT expected_pixels(const ControlSpec& plan, SIZE base) {
    const int left = MulDiv(plan.x, base.cx, 4);
    const int top = MulDiv(plan.y, base.cy, 8);
    return {left, top, left + MulDiv(plan.width, base.cx, 4), top + MulDiv(plan.height, base.cy, 8)};
}

std::string rect_text(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
           std::to_string(r.bottom - r.top);
}

// List boxes drop WS_VSCROLL and WS_HSCROLL from their style while no bar is needed, and
// Wine draws a list box's WS_BORDER as a client edge.
DWORD comparable_style(const ControlSpec& plan, HWND control) {
    auto style = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE));
    if (std::string(plan.class_name) != "ListBox") return style;
    style |= WS_VSCROLL | WS_HSCROLL;
    if (GetWindowLongA(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) style |= WS_BORDER;
    return style;
}

DWORD expected_style(const ControlSpec& plan) {
    if (std::string(plan.class_name) == "ListBox") return plan.style | WS_VSCROLL | WS_HSCROLL;
    return plan.style;
}

}  // namespace

const std::vector<ControlSpec> kMainControls = {
    {IDC_ANALYZE, "Button", "&Analyze", kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, 79, 12, 35, 14},
    {IDC_ADD_FILES, "Button", "Add &Files...", kButtonStyle, 17, 127, 49, 14},
    {IDC_REMOVE, "Button", "&Remove File", kButtonStyle, 85, 127, 49, 14},
    {IDC_PROBLEMS_ONLY, "Button", "Show only blocks with &Problems", kChild | BS_AUTOCHECKBOX | WS_TABSTOP, 155, 127,
     117, 14},
    {IDC_FILES, "ListBox", "", kListStyle | LBS_MULTIPLESEL | LBS_USETABSTOPS, 6, 28, 123, 91},
    {-1, "Static", "Files to Analyze:", kLabelStyle, 5, 15, 52, 10},
    {IDC_BLOCKS, "ListBox", "", kListStyle, 139, 29, 123, 91},
    {-1, "Static", "COMMON Blocks:", kLabelStyle, 140, 15, 59, 8},
    {IDC_DETAILS, "ListBox", "", kListStyle, 272, 28, 123, 91},
    {-1, "Static", "Size and File:", kLabelStyle, 270, 15, 43, 8},
    {IDC_QUIT, "Button", "&Quit", kButtonStyle, 345, 127, 44, 14},
    {IDC_ABOUT, "Button", "Abo&ut...", kButtonStyle, 291, 127, 35, 14},
    {IDC_STATUS, "Static", "Click \"Add Files...\" to begin", kLabelStyle | SS_SUNKEN, 18, 147, 371, 11},
};

const std::vector<ControlSpec> kAboutControls = {
    {IDC_ABOUT_OK, "Button", "OK", kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, 68, 84, 50, 14},
    // The icon static takes the icon's own size, so its size is not the template's.
    {IDC_ABOUT_ICON, "Static", "ICON", kChild | SS_ICON, 7, 7, 0, 0},
    {-1, "Static", "Velmar Fortran \nQuorv", kLabelStyle, 45, 7, 91, 17},
    {IDC_VERSION, "Static", nullptr, kLabelStyle, 45, 33, 131, 8},
    {IDC_BUILD_INFO, "Static", nullptr, kLabelStyle, 45, 47, 134, 10},
    {-1, "Static", nullptr, kLabelStyle, 25, 62, 135, 18},
};

TemplateFont::TemplateFont()
    : dc_(GetDC(nullptr)),
      font_(CreateFontA(-MulDiv(8, GetDeviceCaps(dc_, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0,
                        0, 0, 0, "MS Sans Serif")),
      previous_(SelectObject(dc_, font_)) {
    GetTextMetricsA(dc_, &metrics_);
}

TemplateFont::~TemplateFont() {
    SelectObject(dc_, previous_);
    DeleteObject(font_);
    ReleaseDC(nullptr, dc_);
}

int TemplateFont::width(const std::string& text) const {
    SIZE extent{};
    GetTextExtentPoint32A(dc_, text.data(), static_cast<int>(text.size()), &extent);
    return extent.cx;
}

SIZE TemplateFont::base_units() const {
    return {(width("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 26 + 1) / 2, metrics_.tmHeight};
}

SIZE dialog_base_units() {
    return TemplateFont().base_units();
}

int expected_extent(const std::vector<std::string>& rows) {
    const TemplateFont font;
    int widest = 0;
    for (const auto& row : rows) widest = std::max(widest, font.width(row) + font.average_char_width());
    return widest;
}

void check_controls(Checks& c, const std::string& where, HWND parent, const std::vector<ControlSpec>& controls) {
    const SIZE base = dialog_base_units();
    std::size_t index = 0;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT), ++index) {
        if (index >= controls.size()) {
            c.fail(where + ": an extra control, ID " + std::to_string(GetDlgCtrlID(child)));
            continue;
        }
        const ControlSpec& plan = controls[index];
        const std::string name = where + " control " + std::to_string(index) + " (ID " + std::to_string(plan.id) + ")";
        c.expect_eq(name + " ID", plan.id & 0xFFFF, GetDlgCtrlID(child) & 0xFFFF);
        c.expect(lstrcmpiA(class_name(child).c_str(), plan.class_name) == 0,
                 name + ": class " + class_name(child) + ", expected " + plan.class_name);
        if (plan.text != nullptr) c.expect_eq(name + " text", plan.text, window_text(child));
        c.expect_eq(name + " style", static_cast<long long>(expected_style(plan)), comparable_style(plan, child));
        RECT got{};
        GetWindowRect(child, &got);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&got), 2);
        RECT want = expected_pixels(plan, base);
        if (plan.width == 0) {
            want.right = want.left + (got.right - got.left);
            want.bottom = want.top + (got.bottom - got.top);
        }
        c.expect_eq(name + " position and size", rect_text(want), rect_text(got));
    }
    c.expect_eq(where + " control count", static_cast<long long>(controls.size()), static_cast<long long>(index));
}

}  // namespace quorv::gui
