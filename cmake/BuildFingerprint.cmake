# cmake -DOUTPUT=file.cpp -DFUNCTION=name -DLIST=files.txt -P BuildFingerprint.cmake
#
# Writes a C++ source defining `const char* FUNCTION()` that returns a hash
# over the contents of every file named in LIST (one path a line). Two
# modules linking the same object agree on the text; a module built from
# other sources does not.
file(STRINGS ${LIST} files)
set(all "")
foreach(f IN LISTS files)
  file(SHA256 ${f} hash)
  string(APPEND all "${hash}")
endforeach()
string(SHA256 fingerprint "${all}")
set(text "// Generated at build time: a hash of the sources; do not edit.\nconst char* ${FUNCTION}() { return \"${fingerprint}\"; }\n")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT "${old}" STREQUAL "${text}")
  file(WRITE ${OUTPUT} "${text}")
endif()
