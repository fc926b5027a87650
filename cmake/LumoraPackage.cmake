# The Debian package (cpack -G DEB from the build folder, or `cmake --build ... --target
# package`): everything the install rules install, under /usr, with the maintainer scripts
# that make the system installation (packaging/debian/postinst) and keep or purge its data
# (postrm).
set(deb ${PROJECT_SOURCE_DIR}/packaging/debian)

# A system installation keeps the administrator's trusted roots in /etc, a configuration
# file dpkg never overwrites unasked; the installation directory links to it. Other
# prefixes keep the file itself in the installation directory.
install(CODE "
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    set(product \"\$ENV{DESTDIR}/usr/${LUMORA_INSTALL_PRODUCTDIR}\")
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}/etc/lumora\")
    file(RENAME \"\${product}/TrustedRoots.pem\" \"\$ENV{DESTDIR}/etc/lumora/TrustedRoots.pem\")
    file(CREATE_LINK /etc/lumora/TrustedRoots.pem \"\${product}/TrustedRoots.pem\" SYMBOLIC)
    message(STATUS \"Installing: \$ENV{DESTDIR}/etc/lumora/TrustedRoots.pem (linked from \${product})\")
  endif()
" COMPONENT runtime)

# What Debian wants beside every package: its copyright, changelog and lintian's notes.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND gzip -9n -c ${deb}/changelog > ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  DEPENDS ${deb}/changelog)
add_custom_target(lumora-package-files ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_dependencies(lumora-installable lumora-package-files)
install(FILES ${deb}/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR}
  COMPONENT runtime)
install(FILES ${deb}/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/lumora-profile-dev COMPONENT development)
install(FILES ${deb}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
  RENAME lumora-profile COMPONENT runtime)

set(CPACK_GENERATOR DEB)
# Two packages, as Debian splits a library: lumora-profile (what a machine runs) and
# lumora-profile-dev (the headers, the development link and the CMake and pkg-config
# packages partners build against).
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development)
set(CPACK_PACKAGE_NAME lumora-profile)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Lumora")
set(CPACK_PACKAGE_CONTACT "Lumora Profile maintainers <maintainers@lumora.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://lumora.example/profile")
# Stripped as Debian ships binaries; the signed lumora-admin is installed as a plain
# file, which is never stripped, so it reaches the package byte for byte.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME lumora-profile)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${deb}/postinst ${deb}/postrm ${deb}/conffiles ${deb}/triggers)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "consent-gated profile store for partner programs
Lumora Profile keeps facts about the user (name, preferences, plans) in one
encrypted store per machine and hands them to the programs of partner
companies, each in its own section, only when the program's code signature
checks out and the user agrees in a consent dialog. This package holds the
profile component, its object runtime and companion services, the
administration tool lumora-admin and the signing tool lumora-sign; installing
it makes the shared store in /var/lib/lumora for the members of the group
lumora.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME lumora-profile-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "lumora-profile (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "consent-gated profile store for partner programs (development files)
The headers (C++17 and later), the development link of the object runtime and
the CMake and pkg-config packages a partner company builds its programs
against: find_package(LumoraProfile CONFIG) gives LumoraProfile::automation,
pkg-config gives lumora-profile.")
include(CPack)
