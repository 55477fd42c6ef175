# Writes the program's resource table as C++: each resource file becomes a byte array, listed by
# type and id. Run as `cmake -DOUTPUT=file.cpp -DRESOURCES="type:id:path;..." -P link_resources.cmake`.
set(arrays "")
set(entries "")
set(index 0)
foreach(resource ${RESOURCES})
  string(REPLACE ":" ";" fields "${resource}")
  list(GET fields 0 type)
  list(GET fields 1 id)
  list(GET fields 2 path)
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const BYTE kResource${index}[] = {${bytes}};\n")
  string(APPEND entries "    {${type}, ${id}, kResource${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.new" "// Made by link_resources.cmake from the program's resource list; not edited by hand.
#include \"platform/kernel.h\"

namespace {
${arrays}}  // namespace

extern \"C\" const ProgramResource ProgramResourceTable[] = {
${entries}    {0, 0, nullptr, 0},
};
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
