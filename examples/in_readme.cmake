# Fails unless README.md holds the quick start's source exactly as it is.
# Usage: cmake -DREADME=<file> -DSOURCE=<file> -P in_readme.cmake
file(READ ${README} readme)
file(READ ${SOURCE} source)
string(FIND "${readme}" "${source}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${README} does not show ${SOURCE} as it is")
endif()
