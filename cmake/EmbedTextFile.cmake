# Writes OUT: a C++ file that defines NS::IDENT as the exact bytes of IN.
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" hex_len)
math(EXPR size "${hex_len} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
file(WRITE ${OUT}
  "// Generated from ${IN}; do not edit.\n"
  "#include <string_view>\n"
  "namespace ${NS} {\n"
  "static const char data[] = {${bytes} '\\0'};\n"
  "extern const std::string_view ${IDENT}(data, ${size});\n"
  "}\n")
