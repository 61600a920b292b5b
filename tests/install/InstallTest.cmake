# cmake -DBUILD_DIR= -DWORK_DIR= -DSOURCE_DIR= -DLIBDIR= -DC_COMPILER= -DHOST_FLAGS= -DPKG_CONFIG= -P InstallTest.cmake
set(flags -std=c99 -Wall -Wextra -pedantic -Werror)
separate_arguments(build_flags UNIX_COMMAND "${HOST_FLAGS}")
list(APPEND flags ${build_flags})
string(REPLACE ";" " " flags_text "${flags}")
set(prefix ${WORK_DIR}/prefix)
set(libdir ${prefix}/${LIBDIR})
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

# A host's run: the installed token's one device and its label.
function(expect_token_run what)
  if(NOT out MATCHES "device: SoftToken-0\n" OR NOT out MATCHES "label: SoftToken\n")
    message(FATAL_ERROR "${what}: expected the software token's device and label, got:\n${out}")
  endif()
  message(STATUS "${what}: OK")
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
file(STRINGS ${BUILD_DIR}/install_manifest.txt installed)
foreach(path ${installed})
  string(FIND "${path}" "${prefix}/" at)
  if(NOT at EQUAL 0)
    message(FATAL_ERROR "installed outside the prefix: ${path}")
  endif()
endforeach()

# The layout hosts and packages rely on.
foreach(path ${LIBDIR}/libUKeyAdaptor.so.1 ${LIBDIR}/libUKeyAdaptor.so ${LIBDIR}/ukeyadaptor/libskfsoft.so
             bin/kxf-host include/ukeyadaptor/UKeyAdaptor.h include/ukeyadaptor/skf.h
             ${LIBDIR}/cmake/UKeyAdaptor/UKeyAdaptorConfigVersion.cmake ${LIBDIR}/pkgconfig/ukeyadaptor.pc)
  if(NOT EXISTS ${prefix}/${path})
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()
file(GLOB stray ${prefix}/include/*.h)
if(stray)
  message(FATAL_ERROR "headers outside include/ukeyadaptor/: ${stray}")
endif()

# The README's host is the one built here, word for word.
file(READ ${SOURCE_DIR}/README.md readme)
file(READ ${CMAKE_CURRENT_LIST_DIR}/host/host_link.c host_source)
string(FIND "${readme}" "```c\n${host_source}```" at)
if(at EQUAL -1)
  message(FATAL_ERROR "README.md does not show tests/install/host/host_link.c as it is")
endif()

# find_package: the linked host and the dlopen host.
set(vendor ${libdir}/ukeyadaptor/libskfsoft.so)
run(${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR}/host -B ${WORK_DIR}/host-build -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_C_COMPILER=${C_COMPILER} "-DCMAKE_C_FLAGS=${flags_text}" -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/host-build)
run(${WORK_DIR}/host-build/host_link ukeyskf ${vendor})
expect_token_run("find_package, linked")
run(${WORK_DIR}/host-build/host_dlopen ${libdir}/libUKeyAdaptor.so.1 ukeyskf ${vendor})
expect_token_run("find_package, dlopen")

# Any 1.x request is met; another major version is refused.
file(WRITE ${WORK_DIR}/versions/CMakeLists.txt [[
cmake_minimum_required(VERSION 3.22)
project(versions LANGUAGES NONE)
foreach(wanted 0 2 1.1)
  find_package(UKeyAdaptor ${wanted} QUIET)
  if(UKeyAdaptor_FOUND)
    message(FATAL_ERROR "find_package(UKeyAdaptor ${wanted}) accepted ${UKeyAdaptor_VERSION}")
  endif()
  unset(UKeyAdaptor_DIR CACHE)
endforeach()
find_package(UKeyAdaptor 1.0 REQUIRED)
]])
run(${CMAKE_COMMAND} -S ${WORK_DIR}/versions -B ${WORK_DIR}/versions/build -DCMAKE_PREFIX_PATH=${prefix})

# pkg-config: compile and link with its flags alone; the dlopen host takes the library's path from it.
if(NOT PKG_CONFIG)
  message(FATAL_ERROR "pkg-config is needed (scripts/install-deps.sh main installs it)")
endif()
set(ENV{PKG_CONFIG_PATH} ${libdir}/pkgconfig)
foreach(part cflags libs)
  run(${PKG_CONFIG} --${part} ukeyadaptor)
  separate_arguments(pc_${part} UNIX_COMMAND "${out}")
endforeach()
run(${C_COMPILER} ${flags} ${CMAKE_CURRENT_LIST_DIR}/host/host_link.c ${pc_cflags} ${pc_libs} -o ${WORK_DIR}/pc_host_link)
run(${PKG_CONFIG} --variable=library ukeyadaptor)
string(STRIP "${out}" library)
run(${C_COMPILER} ${flags} -D_POSIX_C_SOURCE=200809L ${CMAKE_CURRENT_LIST_DIR}/host/host_dlopen.c ${pc_cflags}
    -o ${WORK_DIR}/pc_host_dlopen -ldl)
set(ENV{LD_LIBRARY_PATH} ${libdir})
run(${WORK_DIR}/pc_host_link ukeyskf ${vendor})
expect_token_run("pkg-config, linked")
unset(ENV{LD_LIBRARY_PATH})
run(${WORK_DIR}/pc_host_dlopen ${library} ukeyskf ${vendor})
expect_token_run("pkg-config, dlopen")

# kxf-host finds the adaptor and the token with no paths given, installed and in the build tree.
# It unloads the adaptor, so a leak checker could not name (nor match) the frames of its
# by-design leaks; tests/host covers kxf-host itself.
set(ENV{ASAN_OPTIONS} "$ENV{ASAN_OPTIONS}:detect_leaks=0")
foreach(host ${prefix}/bin/kxf-host ${BUILD_DIR}/bin/kxf-host)
  run(${host} devices)
  if(NOT out MATCHES "SoftToken-0")
    message(FATAL_ERROR "${host} did not list the software token beside it:\n${out}")
  endif()
  message(STATUS "${host}: OK")
endforeach()
