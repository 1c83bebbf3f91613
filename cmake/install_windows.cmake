# What the Windows installer installs, staged by
# `cmake --install <build> --prefix <folder>`:
#   krova-utility.exe, krova-utility-demo.exe, krova-cli.exe
#   the Qt and MinGW runtime DLLs they need, and the Qt plugins for the
#   window (qwindows, the Windows style) and for TLS (Schannel)
#   qt.conf, krova-utility.ico, README.md, copyright.txt, examples\, user-guide\, relay\
# scripts/windows/make-installer.sh strips the binaries and makes the NSIS
# installer from the folder.
set(KROVA_WINDOWS_DIR ${CMAKE_SOURCE_DIR}/packaging/windows)

configure_file(${KROVA_WINDOWS_DIR}/krova-utility.rc.in ${CMAKE_BINARY_DIR}/krova-utility.rc @ONLY)
foreach(program krova-utility krova-utility-demo krova-cli)
  target_sources(${program} PRIVATE ${CMAKE_BINARY_DIR}/krova-utility.rc)
endforeach()

install(TARGETS krova-utility krova-utility-demo krova-cli RUNTIME DESTINATION .)
foreach(module Core Gui Widgets Network)
  install(FILES $<TARGET_FILE:Qt6::${module}> DESTINATION .)
endforeach()
get_filename_component(KROVA_QT_PREFIX "${Qt6_DIR}/../../.." ABSOLUTE)
foreach(plugin platforms/qwindows styles/qwindowsvistastyle tls/qschannelbackend tls/qcertonlybackend)
  get_filename_component(folder ${plugin} DIRECTORY)
  install(FILES ${KROVA_QT_PREFIX}/plugins/${plugin}.dll DESTINATION plugins/${folder})
endforeach()
# The compiler's own runtime, wherever this MinGW-w64 keeps it.
foreach(runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "The MinGW-w64 runtime ${runtime} was not found (${CMAKE_CXX_COMPILER} -print-file-name)")
  endif()
  install(FILES ${path} DESTINATION .)
endforeach()
install(FILES ${KROVA_WINDOWS_DIR}/qt.conf ${KROVA_WINDOWS_DIR}/krova-utility.ico README.md DESTINATION .)
install(FILES packaging/copyright DESTINATION . RENAME copyright.txt)
install(DIRECTORY examples/ DESTINATION examples)
install(FILES docs/user-guide.md DESTINATION user-guide)
install(DIRECTORY docs/guide DESTINATION user-guide)
install(FILES relay/support_x.php relay/router.php relay/htaccess.example relay/nginx.conf.example DESTINATION relay)
