# Doxygen input filter of the public headers. The comment that opens a header
# describes the file; a line comment at the start of a line (// ...) becomes
# a documentation comment (/// ...) for the declaration below it.
1s,^//\([^/]\|$\),/// \\file\n///\1,
s,^\([[:space:]]*\)//\([^/]\|$\),\1///\2,
