# Windows: the programs, the shipped device list and the documents in one
# folder; a ZIP of it and an NSIS installer (cpack).
install(TARGETS ferrolux-cli RUNTIME DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/data/kestrum.ini DESTINATION .)
