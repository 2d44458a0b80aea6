# The Windows tools for driver authors as one zip (cpack -G ZIP in build/windows): the
# simulator, the conformance checker, the profile and registry tools, a
# README and the licence. Every .exe is linked statically and runs alone.
install(TARGETS qelpsim qelp-check qelp-profile qelp-reg RUNTIME DESTINATION . COMPONENT kit)
install(FILES ${CMAKE_SOURCE_DIR}/docs/driver-kit.md DESTINATION . RENAME README.md COMPONENT kit)
if(EXISTS ${CMAKE_SOURCE_DIR}/LICENSE)
  install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt COMPONENT kit)
else()
  message(WARNING "No LICENSE at the repository root: the Windows zip goes without its licence")
endif()

set(CPACK_PACKAGE_NAME "qelp-driver-kit")
set(CPACK_PACKAGE_VENDOR "QELPServer")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME "windows-x64")
set(CPACK_GENERATOR ZIP)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_COMPONENTS_ALL kit)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
