# Doxygen input filter of the public headers. The comment that opens a header
# describes the file; a line comment at the start of a line (// ...) becomes
# a documentation comment (/// ...) for the declaration below it. A comment
# line indented by three spaces or more is example code, shown as written.
1s,^//\([^/]\|$\),/// \\file\n///\1,
s,^\([[:space:]]*\)//\(   .*\)$,\1/// \\verbatim\2 \\endverbatim,
s,^\([[:space:]]*\)//\([^/]\|$\),\1///\2,
