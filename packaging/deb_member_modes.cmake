# Run by cpack once it has written the package (CPACK_POST_BUILD_SCRIPTS): the package's member
# modes no longer follow the umask of the one who made it.
execute_process(COMMAND "${CPACK_MORVANE_PYTHON}" "${CMAKE_CURRENT_LIST_DIR}/deb_member_modes.py"
                        ${CPACK_PACKAGE_FILES}
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "Could not set the modes inside ${CPACK_PACKAGE_FILES}")
endif()
