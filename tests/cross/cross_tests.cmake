# Tests of the cross build (included from tests/CMakeLists.txt).

# MinGW-w64 GCC 12 reports a null dereference inside libstdc++'s own
# istreambuf_iterator once inlined at -O2; the native GCC does not. Linked
# after lendrec_warnings, so that it comes after -Wnull-dereference.
add_library(lendrec_cross_test_options INTERFACE)
target_compile_options(lendrec_cross_test_options INTERFACE -Wno-null-dereference)
foreach(rule IN LISTS LENDREC_RULES)
  target_link_libraries(lendrec_tests_${rule} PRIVATE lendrec_cross_test_options)
endforeach()

string(REPLACE ";" "|" lendrec_emulator "${CMAKE_CROSSCOMPILING_EMULATOR}")
if(WIN32)
  set(lendrec_line_end CRLF)
else()
  set(lendrec_line_end LF)
endif()
set(lendrec_cross_dir "${CMAKE_CURRENT_SOURCE_DIR}/cross")
set(lendrec_scratch "${CMAKE_CURRENT_BINARY_DIR}/cross-scratch")

# The exercise programs, run as a user would run them.
add_test(NAME programs.BookListItestPrintsItsThreeWalksAndLeavesItsRecordFileWithItsLineEnds
  COMMAND ${CMAKE_COMMAND}
    -DPROGRAM=$<TARGET_FILE:book_list_itest> -DEMULATOR=${lendrec_emulator}
    -DWORK_DIR=${lendrec_scratch}/book_list_itest -DRUNS=2
    -DEXPECTED_STDOUT=${lendrec_cross_dir}/book_list_itest.stdout
    -DRECORD_FILE=test_books.csv -DEXPECTED_RECORD_FILE=${lendrec_cross_dir}/test_books.csv
    -DLINE_END=${lendrec_line_end}
    -P ${lendrec_cross_dir}/check_program.cmake)
add_test(NAME programs.BookListItestStopsAtTheSaveWhenItsRecordFileCannotBeWritten
  COMMAND ${CMAKE_COMMAND}
    -DPROGRAM=$<TARGET_FILE:book_list_itest> -DEMULATOR=${lendrec_emulator}
    -DWORK_DIR=${lendrec_scratch}/book_list_itest_blocked
    -DRECORD_FILE=test_books.csv -DRECORD_FILE_IS_DIRECTORY=ON
    "-DEXPECTED_STDERR=serializer_save_books(\"test_books.csv\", book_list, 6) == true"
    -P ${lendrec_cross_dir}/check_program.cmake)
add_test(NAME programs.UserUtestPrintsOnlyTheFinalPhoneReport
  COMMAND ${CMAKE_COMMAND}
    -DPROGRAM=$<TARGET_FILE:user_utest> -DEMULATOR=${lendrec_emulator}
    -DWORK_DIR=${lendrec_scratch}/user_utest
    -DEXPECTED_STDOUT=${lendrec_cross_dir}/user_utest.stdout
    -P ${lendrec_cross_dir}/check_program.cmake)

# Record files exchanged with a native build of the core: the native half
# is built as an external project with the build machine's compiler.
add_executable(lendrec_record_exchange cross/record_exchange.cpp)
target_include_directories(lendrec_record_exchange PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}")
target_link_libraries(lendrec_record_exchange PRIVATE
  lendrec lendrec_warnings GTest::gtest lendrec_cross_test_options)

include(ExternalProject)
set(lendrec_native_dir "${CMAKE_CURRENT_BINARY_DIR}/native-exchange")
set(lendrec_native_tool "${lendrec_native_dir}/lendrec_record_exchange")
ExternalProject_Add(lendrec_native_record_exchange
  SOURCE_DIR "${lendrec_cross_dir}"
  BINARY_DIR "${lendrec_native_dir}"
  CMAKE_ARGS
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
    -DLENDREC_ROOT=${PROJECT_SOURCE_DIR}
    -DLENDREC_WERROR=${LENDREC_WERROR}
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS "${lendrec_native_tool}"
  INSTALL_COMMAND "")

string(REPLACE ";" "|" lendrec_windows_tool "${lendrec_emulator}|$<TARGET_FILE:lendrec_record_exchange>")
add_test(NAME exchange.RecordFilesWrittenOnLinuxLoadOnWindowsWithEveryFieldIntact
  COMMAND ${CMAKE_COMMAND}
    -DWRITER=${lendrec_native_tool} -DREADER=${lendrec_windows_tool} -DWRITER_LINE_END=LF
    -DWORK_DIR=${lendrec_scratch}/from_linux
    -P ${lendrec_cross_dir}/exchange_records.cmake)
add_test(NAME exchange.RecordFilesWrittenOnWindowsLoadOnLinuxWithEveryFieldIntact
  COMMAND ${CMAKE_COMMAND}
    -DWRITER=${lendrec_windows_tool} -DREADER=${lendrec_native_tool}
    -DWRITER_LINE_END=${lendrec_line_end}
    -DWORK_DIR=${lendrec_scratch}/from_windows
    -P ${lendrec_cross_dir}/exchange_records.cmake)
