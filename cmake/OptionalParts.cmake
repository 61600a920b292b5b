# Optional parts (tests, benchmarks, their helpers) say at the end of configuring what was left
# out and why; the library, the software token and kxf-host need only Qt, OpenSSL and p11-kit.
set_property(GLOBAL PROPERTY UKEY_SKIPPED_PARTS "")

# ukey_optional_part(<what> <found-variable> <why it is missing>)
function(ukey_optional_part what found why)
  if(NOT ${found})
    set_property(GLOBAL APPEND PROPERTY UKEY_SKIPPED_PARTS "${what}: ${why}")
  endif()
endfunction()

function(ukey_report_optional_parts)
  get_property(skipped GLOBAL PROPERTY UKEY_SKIPPED_PARTS)
  if(NOT skipped)
    message(STATUS "Optional parts: all built")
    return()
  endif()
  message(STATUS "Optional parts skipped (scripts/install-deps.sh test installs their packages):")
  foreach(line IN LISTS skipped)
    message(STATUS "  - ${line}")
  endforeach()
endfunction()
