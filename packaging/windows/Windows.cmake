# The Windows programs' icons and version resources.

# Gives target (a program) its icon and a version resource with description, the version of
# project(Orlesse VERSION ...).
function(orlesse_windows_resources target description icon)
  set(ORLESSE_RC_NAME ${target})
  set(ORLESSE_RC_DESCRIPTION "${description}")
  set(ORLESSE_RC_ICON ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${icon})
  # FILEVERSION wants four numbers.
  set(patch 0)
  if(PROJECT_VERSION_PATCH)
    set(patch ${PROJECT_VERSION_PATCH})
  endif()
  set(ORLESSE_RC_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${patch},0")
  set(rc ${CMAKE_BINARY_DIR}/resources/${target}.rc)
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/program.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

# What the zip and the installer hold, as install rules: cmake --install puts it in one folder,
# scripts/build-windows packs that folder. The programs, Qt's DLLs with the Windows platform
# plugin and the styles, the MinGW runtime, the example programs, README-Windows.txt and the
# licences.
function(orlesse_windows_install)
  install(TARGETS orlesse orlesse-editor orlesse-program RUNTIME DESTINATION .)

  # Qt's prefix is two folders above its CMake package folder (lib/cmake/Qt6).
  get_filename_component(qt ${Qt6_DIR}/../../.. ABSOLUTE)
  install(FILES ${qt}/bin/Qt6Core.dll ${qt}/bin/Qt6Gui.dll ${qt}/bin/Qt6Widgets.dll
    ${qt}/bin/Qt6Concurrent.dll DESTINATION .)
  install(FILES ${qt}/plugins/platforms/qwindows.dll DESTINATION platforms)
  install(FILES ${qt}/plugins/styles/qwindowsvistastyle.dll DESTINATION styles)
  install(FILES ${qt}/plugins/imageformats/qico.dll DESTINATION imageformats)

  # The compiler's own runtime, which Qt and the programs link.
  foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
      OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
      message(FATAL_ERROR "The MinGW runtime ${dll} is not to be found")
    endif()
    install(FILES ${path} DESTINATION .)
  endforeach()

  file(GLOB examples ${PROJECT_SOURCE_DIR}/programs/*.csv)
  install(FILES ${examples} DESTINATION programs)
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/README-Windows.txt.in
    ${CMAKE_BINARY_DIR}/README-Windows.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/README-Windows.txt DESTINATION .)

  # The licences: Orlesse's own; Qt's (LGPL-3, which builds on the GPL-3) and Debian's record
  # of the sources it bundles; the MinGW runtime's; zlib's, which is linked into the programs.
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION licenses RENAME Orlesse-LICENSE.txt)
  install(FILES /usr/share/common-licenses/LGPL-3 DESTINATION licenses RENAME Qt-LGPL-3.txt)
  install(FILES /usr/share/common-licenses/GPL-3 DESTINATION licenses RENAME GPL-3.txt)
  install(FILES /usr/share/doc/libqt6core6/copyright DESTINATION licenses
    RENAME Qt-copyright.txt)
  install(FILES /usr/share/doc/gcc-mingw-w64-base/copyright DESTINATION licenses
    RENAME GCC-runtime-copyright.txt)
  install(FILES /usr/share/doc/mingw-w64-common/copyright DESTINATION licenses
    RENAME MinGW-w64-copyright.txt)
  install(FILES /usr/share/doc/libz-mingw-w64/copyright DESTINATION licenses
    RENAME zlib-copyright.txt)
endfunction()
