# Install layout, CMake package and pkg-config file. Components: runtime, dev, softtoken, host
# (and pkcs11); cmake/Packaging.cmake turns each into a Debian package.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(UKEY_PLUGIN_DIR ${CMAKE_INSTALL_LIBDIR}/ukeyadaptor)
set(UKEY_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/UKeyAdaptor)

# The adaptor: libUKeyAdaptor.so.1 for hosts, the unversioned link in the build tree and in dev.
set_target_properties(UKeyAdaptor PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
set(UKEY_LIBRARY_SONAME ${CMAKE_SHARED_LIBRARY_PREFIX}UKeyAdaptor${CMAKE_SHARED_LIBRARY_SUFFIX})
if(UNIX AND NOT APPLE)
  string(APPEND UKEY_LIBRARY_SONAME .${PROJECT_VERSION_MAJOR})
endif()

# Hosts include <ukeyadaptor/UKeyAdaptor.h>, so generic names such as skf.h stay in our folder.
add_library(UKeyAdaptorHeaders INTERFACE)
set_target_properties(UKeyAdaptorHeaders PROPERTIES EXPORT_NAME headers)
target_include_directories(UKeyAdaptorHeaders INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_link_libraries(UKeyAdaptorHeaders INTERFACE ${CMAKE_DL_LIBS})
target_link_libraries(UKeyAdaptor INTERFACE UKeyAdaptorHeaders)
add_library(UKeyAdaptor::headers ALIAS UKeyAdaptorHeaders)
add_library(UKeyAdaptor::UKeyAdaptor ALIAS UKeyAdaptor)

install(TARGETS UKeyAdaptor UKeyAdaptorHeaders EXPORT UKeyAdaptorTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
file(GLOB UKEY_PUBLIC_HEADERS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/include/*.h)
install(FILES ${UKEY_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ukeyadaptor COMPONENT dev)

install(EXPORT UKeyAdaptorTargets NAMESPACE UKeyAdaptor:: DESTINATION ${UKEY_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/UKeyAdaptorConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/UKeyAdaptorConfig.cmake INSTALL_DESTINATION ${UKEY_CMAKE_DIR}
                              PATH_VARS CMAKE_INSTALL_LIBDIR UKEY_PLUGIN_DIR)
# A host built for 1.x keeps working with any later 1.x.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/UKeyAdaptorConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/UKeyAdaptorConfig.cmake ${PROJECT_BINARY_DIR}/UKeyAdaptorConfigVersion.cmake
        DESTINATION ${UKEY_CMAKE_DIR} COMPONENT dev)

# Written at install time so that `cmake --install --prefix` and CPack get their own prefix.
install(CODE "set(UKEY_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  set(CMAKE_INSTALL_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(CMAKE_INSTALL_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(UKEY_LIBRARY_SONAME \"${UKEY_LIBRARY_SONAME}\")
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
  configure_file(\"${CMAKE_CURRENT_LIST_DIR}/ukeyadaptor.pc.in\" \"${PROJECT_BINARY_DIR}/ukeyadaptor.pc\" @ONLY)"
        COMPONENT dev)
install(FILES ${PROJECT_BINARY_DIR}/ukeyadaptor.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# The software token is a plug-in: loaded by path, never linked. Windows hosts look beside them.
install(TARGETS skfsoft LIBRARY DESTINATION ${UKEY_PLUGIN_DIR} COMPONENT softtoken
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT softtoken)

# kxf-host finds the adaptor and the token from its own folder; installed, through this path.
file(RELATIVE_PATH UKEY_BIN_TO_LIB /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
target_compile_definitions(kxf-host PRIVATE KXF_HOST_LIBDIR="${UKEY_BIN_TO_LIB}"
                                            KXF_HOST_ADAPTOR_FILE="${UKEY_LIBRARY_SONAME}")
install(TARGETS kxf-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT host)
