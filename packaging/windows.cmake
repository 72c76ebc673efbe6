# Windows: the programs, the shipped device list and the documents in one
# folder; a ZIP of it and an NSIS installer (cpack -G "ZIP;NSIS").
#
# The program directory is the current one when that holds kestrum.ini, so
# the Start-menu shortcut starts ferrolux.exe in the user's own
# %APPDATA%\Ferrolux, which the installer makes with a copy of the list (the
# program makes it too, from the list beside it, when it is missing).
set(docs ${CMAKE_SOURCE_DIR}/docs)
install(TARGETS ferrolux ferrolux-cli RUNTIME DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/data/kestrum.ini ${docs}/manual.html DESTINATION .)
install(FILES ${docs}/copyright DESTINATION . RENAME copyright.txt)
install(FILES ${docs}/changelog DESTINATION . RENAME changelog.txt)

set(CPACK_GENERATOR "ZIP;NSIS")
set(CPACK_PACKAGE_NAME Ferrolux)
set(CPACK_PACKAGE_VENDOR "Ferrolux")
set(CPACK_PACKAGE_CONTACT "Ferrolux developers <ferrolux@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "PIC programmer for the T3306/T3307 boards")
set(CPACK_PACKAGE_FILE_NAME "Ferrolux-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Ferrolux")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Ferrolux")
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE ${docs}/copyright)

set(CPACK_NSIS_PACKAGE_NAME "Ferrolux ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "Ferrolux ${PROJECT_VERSION}")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_INSTALLED_ICON_NAME "ferrolux.exe")
set(CPACK_NSIS_MUI_ICON ${CMAKE_SOURCE_DIR}/src/ui/win32/ferrolux.ico)
set(CPACK_NSIS_MUI_UNIICON ${CMAKE_SOURCE_DIR}/src/ui/win32/ferrolux.ico)
set(CPACK_NSIS_MUI_FINISHPAGE_RUN "")
# The shortcut's start folder is the installing user's %APPDATA%\Ferrolux
# with a copy of the list (an existing one, maybe edited, is kept).
set(CPACK_NSIS_CREATE_ICONS_EXTRA "
  SetShellVarContext current
  CreateDirectory '$APPDATA\\\\Ferrolux'
  IfFileExists '$APPDATA\\\\Ferrolux\\\\kestrum.ini' +2 0
    CopyFiles /SILENT '$INSTDIR\\\\kestrum.ini' '$APPDATA\\\\Ferrolux'
  SetOutPath '$APPDATA\\\\Ferrolux'
  StrCmp $SV_ALLUSERS 'AllUsers' 0 +2
    SetShellVarContext all
  CreateShortCut '$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\Ferrolux.lnk' '$INSTDIR\\\\ferrolux.exe'
  CreateShortCut '$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\Manual.lnk' '$INSTDIR\\\\manual.html'
  SetOutPath '$INSTDIR'")
set(CPACK_NSIS_DELETE_ICONS_EXTRA "
  Delete '$SMPROGRAMS\\\\$MUI_TEMP\\\\Ferrolux.lnk'
  Delete '$SMPROGRAMS\\\\$MUI_TEMP\\\\Manual.lnk'")
include(CPack)
