# What `cmake --install` puts on a machine, and how other projects find it.
#
#   bin/                 lumora-admin (signed), lumora-sign
#   <libdir>/            liblumora-automation.so.1 (what clients link, with its development
#                        link), libprprofile.so.1 (the component) and liblumora-services.so.1
#                        (the companion services), loaded by class identifier and never linked;
#                        pkgconfig/ and cmake/LumoraProfile/
#   include/lumora/      the client headers (C++17 and later)
#   lib/lumora/          the installation directory: ExceptionList.dll, TrustedRoots.pem, the
#                        link to the object runtime, the consent helper
#   share/man, share/bash-completion, share/doc/lumora-profile
#
# Nothing installed names the build tree: programs find their libraries through a RUNPATH
# relative to themselves, and lumora-admin finds the product's files beside itself.
# The folders themselves are chosen in LumoraInstallDirs.cmake, before anything else can
# include GNUInstallDirs.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The installation directory keeps one place whatever the library folder is (a multiarch
# libdir included), as the product's private files do on Debian.
set(LUMORA_INSTALL_PRODUCTDIR lib/lumora)

set(lumora_libraries lumora-automation prprofile lumora-services)
set_target_properties(${lumora_libraries} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
# The component and the services load the runtime from their own folder.
set_target_properties(prprofile lumora-services PROPERTIES INSTALL_RPATH "$ORIGIN")

# The programs are linked with the RUNPATH they keep when installed, so that installing
# them changes no byte: lumora-admin is signed after it is linked, and a RUNPATH rewritten
# at install time would break its signature. The build tree mirrors the installed layout
# (bin/ beside lib/); a multiarch libdir is named as well.
set(lumora_program_rpath "$ORIGIN/../lib")
if(NOT CMAKE_INSTALL_LIBDIR STREQUAL "lib")
  string(APPEND lumora_program_rpath ":$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
endif()
set(lumora_programs lumora-admin lumora-sign)
set_target_properties(${lumora_programs} PROPERTIES BUILD_WITH_INSTALL_RPATH ON INSTALL_RPATH "${lumora_program_rpath}")

install(TARGETS lumora-automation EXPORT LumoraProfileTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS prprofile lumora-services
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_SKIP)
# lumora-admin is copied as it is, never stripped (cmake --install --strip, the package):
# its signature covers every byte.
install(TARGETS lumora-sign RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(PROGRAMS $<TARGET_FILE:lumora-admin> DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)

# The client headers. The dispatch and class tables are the runtime's own machinery for
# implementing objects (they use C++20); a client only calls objects, so they stay inside.
install(DIRECTORY include/lumora DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development
  FILES_MATCHING PATTERN "*.h" PATTERN "dispatch.h" EXCLUDE PATTERN "class_table.h" EXCLUDE)

# The installation directory. TrustedRoots.pem starts with the product root; the runtime
# link carries the name the exception list gives the object runtime.
install(FILES ${CMAKE_BINARY_DIR}/lib/lumora/ExceptionList.dll DESTINATION ${LUMORA_INSTALL_PRODUCTDIR}
  COMPONENT runtime)
install(FILES ${CMAKE_BINARY_DIR}/lib/lumora/product-root.pem DESTINATION ${LUMORA_INSTALL_PRODUCTDIR}
  COMPONENT runtime)
install(FILES ${CMAKE_BINARY_DIR}/lib/lumora/product-root.pem DESTINATION ${LUMORA_INSTALL_PRODUCTDIR}
  RENAME TrustedRoots.pem COMPONENT runtime)
file(RELATIVE_PATH lumora_runtime_from_productdir ${CMAKE_INSTALL_PREFIX}/${LUMORA_INSTALL_PRODUCTDIR}
  ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR})
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-links)
string(REGEX REPLACE "/$" "" lumora_runtime_from_productdir "${lumora_runtime_from_productdir}")
file(CREATE_LINK ${lumora_runtime_from_productdir}/liblumora-automation.so.${PROJECT_VERSION_MAJOR}
  ${CMAKE_BINARY_DIR}/install-links/liblumora-automation.so SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/install-links/liblumora-automation.so DESTINATION ${LUMORA_INSTALL_PRODUCTDIR}
  COMPONENT runtime)
# The consent helper lands in the installation directory, where the component looks for it.
if(TARGET lumora-consent)
  set_target_properties(lumora-consent PROPERTIES INSTALL_RPATH "$ORIGIN/../../${CMAKE_INSTALL_LIBDIR}")
  install(TARGETS lumora-consent RUNTIME DESTINATION ${LUMORA_INSTALL_PRODUCTDIR} COMPONENT runtime)
endif()

# Manual pages and bash completion.
foreach(page lumora-admin.1 lumora-sign.1)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/docs/man/${page} > ${CMAKE_BINARY_DIR}/man/${page}.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${page})
  list(APPEND lumora_man_pages ${CMAKE_BINARY_DIR}/man/${page}.gz)
endforeach()
add_custom_target(lumora-man-pages ALL DEPENDS ${lumora_man_pages})
install(FILES ${lumora_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
install(FILES tools/completion/lumora-admin tools/completion/lumora-sign
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT runtime)
install(FILES docs/admin-guide.md docs/partner-guide.md docs/threat-model.md docs/consent-json.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)

# find_package(LumoraProfile CONFIG): the imported target LumoraProfile::automation.
set_target_properties(lumora-automation PROPERTIES EXPORT_NAME automation)
install(EXPORT LumoraProfileTargets NAMESPACE LumoraProfile:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/LumoraProfile
  COMPONENT development)
configure_package_config_file(cmake/LumoraProfileConfig.cmake.in ${CMAKE_BINARY_DIR}/LumoraProfileConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/LumoraProfile)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/LumoraProfileConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/LumoraProfileConfig.cmake ${CMAKE_BINARY_DIR}/LumoraProfileConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/LumoraProfile COMPONENT development)
# Inside this build the same name stands for the target itself, so the example's own
# CMakeLists works unchanged in the tree and against an installation.
add_library(LumoraProfile::automation ALIAS lumora-automation)

# pkg-config --cflags --libs lumora-profile. The prefix is the one installed into, known
# only at install time (cmake --install --prefix, or the package's /usr).
set(LUMORA_PC_PREFIX "@LUMORA_PC_PREFIX@")
configure_file(cmake/lumora-profile.pc.in ${CMAKE_BINARY_DIR}/lumora-profile.pc.in @ONLY)
install(CODE "
  # pkg-config splits its fields at spaces unless they are escaped.
  string(REPLACE \" \" \"\\\\ \" LUMORA_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  configure_file(\"${CMAKE_BINARY_DIR}/lumora-profile.pc.in\"
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig/lumora-profile.pc\" @ONLY)
  message(STATUS \"Installing: \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig/lumora-profile.pc\")
" COMPONENT development)

# Everything the install rules take from the build, for a build of only what is installed.
add_custom_target(lumora-installable DEPENDS ${lumora_libraries} ${lumora_programs} lumora-product-files
  lumora-man-pages)
if(TARGET lumora-consent)
  add_dependencies(lumora-installable lumora-consent)
endif()
