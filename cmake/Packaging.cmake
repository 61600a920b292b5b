# Debian packages, one per install component: cpack -G DEB in a build configured with
# -DCMAKE_INSTALL_PREFIX=/usr (scripts/ci-packages.sh). A new component needs only its row in
# UKEY_PACKAGES and install(... COMPONENT <name>) rules.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ukeyadaptor)
set(CPACK_PACKAGE_VENDOR "UKeyAdaptor developers")
set(CPACK_PACKAGE_CONTACT "UKeyAdaptor developers <ukeyadaptor@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "One table of entry points over the SKF libraries of many USB key makes")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# Qt, OpenSSL and the C++ runtime come from what the binaries link (dpkg-shlibdeps); packages
# of this project depend on each other at the exact version.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

# component | package | depends on components | summary
set(UKEY_PACKAGES
    "runtime|libukeyadaptor1||the adaptor library, loaded by hosts with KXF_Load"
    "dev|libukeyadaptor-dev|runtime|headers, CMake package and pkg-config file for hosts"
    "softtoken|ukeyadaptor-softtoken||a software SKF token for development and tests, no hardware needed"
    "host|kxf-host|runtime|command-line host: list, inspect and try keys through the adaptor"
    "pkcs11|ukeyadaptor-pkcs11|runtime|PKCS#11 module over the adaptor's table")
foreach(row IN LISTS UKEY_PACKAGES)
  string(REPLACE "|" ";" row "${row}")
  list(GET row 0 component)
  list(GET row 1 package)
  list(GET row 2 depends)
  list(GET row 3 summary)
  string(TOUPPER ${component} upper)
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${package})
  set(CPACK_COMPONENT_${upper}_DESCRIPTION "UKeyAdaptor: ${summary}")
  if(depends)
    set(CPACK_COMPONENT_${upper}_DEPENDS ${depends})
  endif()
endforeach()
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_HOST_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_HOST_PACKAGE_RECOMMENDS ukeyadaptor-softtoken)
# The administrator's edits of the module's configuration survive upgrades.
if(TARGET ukeyadaptor-pkcs11)
  file(WRITE ${PROJECT_BINARY_DIR}/debian/pkcs11/conffiles "${CMAKE_INSTALL_FULL_SYSCONFDIR}/ukeyadaptor/pkcs11.conf\n")
  set(CPACK_DEBIAN_PKCS11_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/pkcs11/conffiles)
endif()
set(CPACK_DEBIAN_PKCS11_PACKAGE_RECOMMENDS ukeyadaptor-softtoken) # offered when no key is configured
include(CPack)
