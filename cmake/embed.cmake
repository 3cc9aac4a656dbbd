# Turns INPUT into a C++ source defining `extern const std::string_view SYMBOL`.
file(READ ${INPUT} content HEX)
string(LENGTH "${content}" hex_length)
math(EXPR byte_count "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${content}")
file(WRITE ${OUTPUT}
  "// Generated from ${INPUT}; do not edit.\n"
  "#include <string_view>\n"
  "static const char data[] = {${bytes} 0};\n"
  "extern const std::string_view ${SYMBOL}(data, ${byte_count});\n")
