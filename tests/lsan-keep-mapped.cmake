# Injected by scripts/ci-sanitizers.sh (CMAKE_PROJECT_INCLUDE): the adaptor and the mock vendor
# libraries stay mapped after dlclose, so that LeakSanitizer's report at exit still names the
# functions of its allocations and tests/lsan.supp can match them (memory of an unmapped library
# reads as leaked from an unknown module). The test fixture skips its unload check in this build.
set(UKEY_KEEP_MAPPED ON) # read by ukey_add_mock
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL set_property TARGET UKeyAdaptor APPEND PROPERTY
               LINK_OPTIONS -Wl,-z,nodelete)
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL set_property TARGET ukey_test_support APPEND PROPERTY
               COMPILE_DEFINITIONS UKEY_ADAPTOR_STAYS_MAPPED)
