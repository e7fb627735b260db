# What `cmake --install` puts in place, and the Debian package made of it
# (`cpack -G DEB` in a release build folder).
include(GNUInstallDirs)

install(TARGETS volkarn RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/data/org.volkarn.VolKarn.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/data/volkarn.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/data/org.volkarn.VolKarn.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/data/volkarn.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# User units live below lib/ whatever the library folder of the platform.
install(FILES ${CMAKE_SOURCE_DIR}/data/systemd/volkarn-backup@.service
              ${CMAKE_SOURCE_DIR}/data/systemd/volkarn-backup@.timer
              ${CMAKE_SOURCE_DIR}/data/systemd/volkarn-sync@.service
              ${CMAKE_SOURCE_DIR}/data/systemd/volkarn-sync@.timer
        DESTINATION lib/systemd/user)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/volkarn)

set(CPACK_PACKAGE_NAME volkarn)
set(CPACK_PACKAGE_VENDOR "VolKarn-Projekt")
set(CPACK_PACKAGE_CONTACT "VolKarn-Projekt <volkarn@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Datensicherung mit deutscher Oberfläche")
set(CPACK_PACKAGE_DESCRIPTION
    "VolKarn sichert benannte Verzeichnislisten als Komplett- oder Ergänzungssicherung,\
 schreibt ein Protokoll je Lauf und überprüft und vervollständigt Sicherungen;\
 mit Fenster oder von der Befehlszeile, auch über einen systemd-Timer.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libglib2.0-bin")
set(CPACK_STRIP_FILES ON)
include(CPack)
