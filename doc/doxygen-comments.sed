# Doxygen input filter of the public headers. The comment that opens a header
# describes the file; a line comment at the start of a line (// ...) becomes
# a documentation comment (/// ...) for the declaration below it. A comment
# line indented by three spaces or more is example code, shown as written.
# A comment block between "// clang-format off" and "// clang-format on" (a
# table laid out by hand) is shown as written, in one piece.
/^[[:space:]]*\/\/ clang-format off$/,/^[[:space:]]*\/\/ clang-format on$/{
  s,^\([[:space:]]*\)// clang-format off$,\1/// <pre>,
  t
  s,^\([[:space:]]*\)// clang-format on$,\1/// </pre>,
  t
  s,<,\\<,g
  s,>,\\>,g
  s,^\([[:space:]]*\)//\([^/]\|$\),\1///\2,
  b
}
1s,^//\([^/]\|$\),/// \\file\n///\1,
s,^\([[:space:]]*\)//\(   .*\)$,\1/// \\verbatim\2 \\endverbatim,
s,^\([[:space:]]*\)//\([^/]\|$\),\1///\2,
