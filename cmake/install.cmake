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
install(FILES
          ${CMAKE_SOURCE_DIR}/assets/TovamiLogoNeon100x49.png
          ${CMAKE_SOURCE_DIR}/assets/TovamiHidukeGULogoColor.png
          ${CMAKE_SOURCE_DIR}/assets/TovamiLogoNeon100x49@2x.png
          ${CMAKE_SOURCE_DIR}/assets/TovamiHidukeGULogoColor@2x.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/${TDA_DATA_NAME})
# The launcher and the metainfo as po/CMakeLists.txt translated them from
# data/*.in into the build tree.
install(FILES ${CMAKE_BINARY_DIR}/data/${TDA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_BINARY_DIR}/data/${TDA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/icons/hicolor
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons
        FILES_MATCHING PATTERN "*.png" PATTERN "*.svg")
install(FILES ${CMAKE_SOURCE_DIR}/data/${TDA_DATA_NAME}.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
