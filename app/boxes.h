// What every front end shows the same way: the message boxes and the open-file dialog.
#pragma once

#include <string_view>

namespace halden {

// The open-file dialog's texts.
inline constexpr const char* kChooserTitle = "Halden Firmware Update Utility file selector";
inline constexpr const char* kChooserFilterName = "Halden Firmware Image (*.hfi)";
inline constexpr const char* kChooserPattern = "*.hfi";

// A message box as every front end shows it.
struct BoxStyle {
    std::string_view title;
    bool yesNo = false;  // Yes and No, No the default; else OK alone
};
enum class BoxKind { Error, Question, Notice, Fatal };
BoxStyle boxStyle(BoxKind kind);

}  // namespace halden
