// Reads a stored window layout:
//
//   object Form1: TForm1
//     Caption = 'Form1'
//     Font.Style = []
//     object Button1: TButton
//       OnClick = Button1Click
//     end
//   end
//
// Values are integers, 'quoted text' ('' for a quote), identifiers or [sets]; // starts a comment.
#pragma once

#include <string_view>

class TForm;

/// Applies the layout's root properties to `form` and creates its components, owned by `form`.
/// Raises an Exception naming the line for anything it cannot read or apply.
void ReadLayout(std::string_view layout, TForm& form);
