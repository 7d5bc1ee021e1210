# What a Windows user gets: morvane-patch-<version>-windows-x64.zip, to unpack anywhere and run.
# It holds the program, exactly the Qt libraries and plugins it loads (the Windows platform and
# the Windows style), the MinGW runtime they share with it, and the notices of all that it
# carries, all in one folder named like the zip, so that unpacking it "here" scatters nothing
# among the user's own files. `cmake --build --preset windows --target windows_zip` writes it
# into the build folder.

set(zip_name "morvane-patch-${PROJECT_VERSION}-windows-x64.zip")
set(zip_stage "${CMAKE_CURRENT_BINARY_DIR}/zip-root")
set(zip_folder "morvane-patch-${PROJECT_VERSION}")
set(zip_root "${zip_stage}/${zip_folder}")

# The runtime Qt and the program were both linked against: the C++ library, GCC's support
# library and the POSIX threads library, found where the compiler finds them.
set(runtime_dlls)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT EXISTS "${found}")
    message(FATAL_ERROR "The MinGW runtime ${dll} was not found (${found})")
  endif()
  list(APPEND runtime_dlls "${found}")
endforeach()

set(notices
  "${CMAKE_CURRENT_SOURCE_DIR}/copyright-windows.txt"
  "${PROJECT_SOURCE_DIR}/assets/NOTICE-fonts.txt"
  "${PROJECT_SOURCE_DIR}/assets/LGPL-2.1.txt"
  /usr/share/common-licenses/LGPL-3
  /usr/share/common-licenses/GPL-3)

add_custom_target(windows_zip
  COMMAND ${CMAKE_COMMAND} -E rm -rf "${zip_stage}" "${CMAKE_BINARY_DIR}/${zip_name}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${zip_root}/platforms" "${zip_root}/styles"
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:morvane-patch> $<TARGET_FILE:Qt6::Core>
          $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets> ${runtime_dlls} "${zip_root}"
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>
          "${zip_root}/platforms"
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>
          "${zip_root}/styles"
  COMMAND ${CMAKE_COMMAND} -E copy "${CMAKE_CURRENT_SOURCE_DIR}/copyright-windows.txt"
          "${zip_root}/COPYRIGHT.txt"
  COMMAND ${CMAKE_COMMAND} -E copy "${PROJECT_SOURCE_DIR}/assets/NOTICE-fonts.txt"
          "${PROJECT_SOURCE_DIR}/assets/LGPL-2.1.txt" "${zip_root}"
  COMMAND ${CMAKE_COMMAND} -E copy /usr/share/common-licenses/LGPL-3 "${zip_root}/LGPL-3.txt"
  COMMAND ${CMAKE_COMMAND} -E copy /usr/share/common-licenses/GPL-3 "${zip_root}/GPL-3.txt"
  # Symbols serve no one who runs the program: the copies in the zip go without them. strip
  # stamps each file's header with the moment it runs, or with SOURCE_DATE_EPOCH: 0 leaves no
  # time there, as the linker (--no-insert-timestamp) leaves none in the program.
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${CMAKE_STRIP} --strip-unneeded "${zip_root}/$<TARGET_FILE_NAME:morvane-patch>"
          "${zip_root}/Qt6Core.dll" "${zip_root}/Qt6Gui.dll" "${zip_root}/Qt6Widgets.dll"
          "${zip_root}/libstdc++-6.dll" "${zip_root}/libgcc_s_seh-1.dll"
          "${zip_root}/libwinpthread-1.dll" "${zip_root}/platforms/qwindows.dll"
          "${zip_root}/styles/qwindowsvistastyle.dll"
  # Same commit, same zip: modes that do not follow the umask, every file dated by the last
  # commit (zip keeps local time, here UTC), a fixed order and no extra fields (owners, times).
  COMMAND ${CMAKE_COMMAND} -E env TZ=UTC sh -c "cd \"${zip_stage}\" && chmod -R a=rX,u+w . && find . -exec touch -h -d @${MORVANE_SOURCE_DATE_EPOCH} {} + && find . -type f | cut -c 3- | LC_ALL=C sort | zip -q -X -D \"${CMAKE_BINARY_DIR}/${zip_name}\" -@"
  DEPENDS morvane-patch ${notices}
  COMMENT "Writing ${zip_name}"
  VERBATIM)

if(BUILD_TESTING)
  # The version record and icon, read back from the built program through Windows' own calls,
  # and the zip's list of files.
  add_executable(version_record_windows tests/version_record_windows.cpp)
  target_link_libraries(version_record_windows PRIVATE GTest::gtest version morvane_warnings)
  add_test(NAME windows.version_record
           COMMAND version_record_windows "Z:$<TARGET_FILE:morvane-patch>")
  set_tests_properties(windows.version_record PROPERTIES TIMEOUT 60 LABELS windows)
  add_test(NAME windows.zip_contents
           COMMAND bash "${CMAKE_CURRENT_SOURCE_DIR}/tests/check_windows_zip.sh"
                   "${CMAKE_BINARY_DIR}/${zip_name}" "${zip_folder}")
  set_tests_properties(windows.zip_contents PROPERTIES TIMEOUT 60 LABELS windows)
endif()

if(BUILD_TESTING)
  # The zip's program under Wine in a real X server, driven by keys. Its screenshots are PNG,
  # made by the Linux build's converter.
  set(MORVANE_HOST_XWD_TO_PNG "${PROJECT_SOURCE_DIR}/build/ci/tests/gui/xwd_to_png"
      CACHE FILEPATH "The Linux build's xwd_to_png, for the Wine session's screenshots")
  add_test(NAME windows.gui_patch_session
           COMMAND bash "${PROJECT_SOURCE_DIR}/tests/gui/wine_patch_session.sh"
                   "${CMAKE_BINARY_DIR}/${zip_name}" "${MORVANE_HOST_XWD_TO_PNG}"
                   "${PROJECT_SOURCE_DIR}/tests/gui/data"
                   "${CMAKE_BINARY_DIR}/wine-screenshots")
  set_tests_properties(windows.gui_patch_session PROPERTIES
    LABELS "windows;gui" TIMEOUT 240 SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)
endif()
