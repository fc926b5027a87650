# The installation's folders, chosen before any other file includes GNUInstallDirs (Qt's
# and GoogleTest's packages do, and the first include fixes the cached folders for the
# whole build).
set(CMAKE_INSTALL_DOCDIR share/doc/lumora-profile CACHE PATH "Documentation (DATAROOTDIR/doc/lumora-profile)")
# On Debian the libraries go to the multiarch folder whatever the prefix, so that the
# package built from any build tree has the layout Debian expects (lib/x86_64-linux-gnu).
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} CACHE PATH "Object code libraries")
endif()
include(GNUInstallDirs)
