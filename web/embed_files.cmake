# Writes OUTPUT, a C++ file holding every DIR/PATTERN file as a raw string
# literal, so that the web desk needs no files at run time: the page
# templates (render.cpp) and the stylesheet and script (static_files.cpp).
# Run as: cmake -DDIR=... -DPATTERN=*.mustache -DOUTPUT=... -DHEADER=render.hpp
#   -DNAMESPACE=desk::web::detail -DFUNCTION=embedded_templates
#   -DTYPE=EmbeddedTemplate -DNAME=NAME_WE|NAME -P embed_files.cmake
# NAME_WE names each file without its extension, NAME with it.
set(delimiter "lendrec_embed")
file(GLOB files "${DIR}/${PATTERN}")
list(SORT files)
set(body "// Generated from ${PATTERN} files by embed_files.cmake; edit those.\n")
string(APPEND body "#include \"${HEADER}\"\n\nnamespace ${NAMESPACE} {\n\n")
string(APPEND body "const std::vector<${TYPE}>& ${FUNCTION}()\n{\n")
string(APPEND body "    static const std::vector<${TYPE}> all = {\n")
foreach(path IN LISTS files)
  get_filename_component(name "${path}" ${NAME})
  file(READ "${path}" text)
  string(FIND "${text}" ")${delimiter}\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${path} holds the text that ends the embedded file")
  endif()
  string(APPEND body "        {\"${name}\", R\"${delimiter}(${text})${delimiter}\"},\n")
endforeach()
string(APPEND body "    };\n    return all;\n}\n\n} // namespace ${NAMESPACE}\n")
# Rewritten only when it changes, so an unchanged file rebuilds nothing.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL body)
  file(WRITE "${OUTPUT}" "${body}")
endif()
