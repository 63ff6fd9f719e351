# Compiler warnings shared by every target of the project.
add_library(lendrec_warnings INTERFACE)
if(MSVC)
  target_compile_options(lendrec_warnings INTERFACE /W4 $<$<BOOL:${LENDREC_WERROR}>:/WX>)
else()
  target_compile_options(lendrec_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow
    -Wcast-qual -Wformat=2 -Wundef -Wnull-dereference -Wdouble-promotion
    $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor -Woverloaded-virtual>
    $<$<COMPILE_LANGUAGE:C>:-Wstrict-prototypes -Wmissing-prototypes>
    $<$<BOOL:${LENDREC_WERROR}>:-Werror>)
endif()
