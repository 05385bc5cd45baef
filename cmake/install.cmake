# Installation: the program (the command in bin/ and the window program it
# starts, in libexec/tovamidaysafter/; both installed by CMakeLists.txt,
# which compiles the window program's installed path into the command), its
# two logos (each also drawn at twice the size), the desktop launcher, the
# application icon, the AppStream metainfo and the man page.
#
#   cmake -S . -B build -DTDA_INSTALLED_LOGOS=ON -DCMAKE_INSTALL_PREFIX=/usr
#   cmake --build build --target tovamidaysafter     (builds the window program too)
#   DESTDIR=/tmp/stage cmake --install build
#
# A default build reads its logos from TDA_LOGO_DIR (the source tree's assets/)
# so it runs in place. With TDA_INSTALLED_LOGOS=ON the program is compiled to
# read them from the data directory that this file installs them into, and
# its message catalogues from CMAKE_INSTALL_LOCALEDIR, which is what an
# installed copy or a package needs. DESTDIR only stages the files;
# the path compiled in is the one under CMAKE_INSTALL_PREFIX.

set(TDA_APP_ID "com.example.TovamiDaysAfter")
set(TDA_DATA_NAME "tovamidaysafter")
set(TDA_INSTALLED_LOGO_DIR "${CMAKE_INSTALL_FULL_DATADIR}/${TDA_DATA_NAME}")

option(TDA_INSTALLED_LOGOS
       "Read the logos from the installed data directory (<prefix>/share/tovamidaysafter) instead of TDA_LOGO_DIR"
       OFF)

if(TDA_INSTALLED_LOGOS)
  # The application library got TDA_LOGO_DIR from the cache variable; swap
  # that one definition for the installed directory, keep any others.
  get_target_property(tda_app_defs tda_app COMPILE_DEFINITIONS)
  if(NOT tda_app_defs)
    set(tda_app_defs "")
  endif()
  list(FILTER tda_app_defs EXCLUDE REGEX "^TDA_LOGO_DIR=")
  list(APPEND tda_app_defs "TDA_LOGO_DIR=\"${TDA_INSTALLED_LOGO_DIR}\"")
  set_property(TARGET tda_app PROPERTY COMPILE_DEFINITIONS "${tda_app_defs}")
  # Likewise the catalogue folder of the library that binds the text domain.
  get_target_property(tda_base_defs tda_app_base COMPILE_DEFINITIONS)
  list(FILTER tda_base_defs EXCLUDE REGEX "^TDA_LOCALE_DIR=")
  list(APPEND tda_base_defs "TDA_LOCALE_DIR=\"${CMAKE_INSTALL_FULL_LOCALEDIR}\"")
  set_property(TARGET tda_app_base PROPERTY COMPILE_DEFINITIONS "${tda_base_defs}")
  set(TDA_LOGO_DIR "${TDA_INSTALLED_LOGO_DIR}")
  message(STATUS "Logos are read from the installed directory ${TDA_INSTALLED_LOGO_DIR}, "
                 "message catalogues from ${CMAKE_INSTALL_FULL_LOCALEDIR}")
  if(TDA_BUILD_TESTS)
    message(STATUS "Note: tests that start the calculator find its logos only after it is installed")
  endif()
else()
  message(STATUS "Logos are read from ${TDA_LOGO_DIR} (TDA_INSTALLED_LOGOS=ON reads the installed copies)")
endif()

install(FILES
          ${CMAKE_SOURCE_DIR}/assets/TovamiLogoNeon100x49.png
          ${CMAKE_SOURCE_DIR}/assets/TovamiHidukeGULogoColor.png
          ${CMAKE_SOURCE_DIR}/assets/TovamiLogoNeon100x49@2x.png
          ${CMAKE_SOURCE_DIR}/assets/TovamiHidukeGULogoColor@2x.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/${TDA_DATA_NAME})
install(FILES ${CMAKE_SOURCE_DIR}/data/${TDA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/data/${TDA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/icons/hicolor
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons
        FILES_MATCHING PATTERN "*.png" PATTERN "*.svg")
install(FILES ${CMAKE_SOURCE_DIR}/data/${TDA_DATA_NAME}.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
