# Builds the Debian package into PACKAGE_DIR, which holds only this package afterwards.
#   cmake -DCPACK=<cpack> -DCONFIG=<CPackConfig.cmake> -DPACKAGE_DIR=<dir> -P buildpackage.cmake
file(REMOVE_RECURSE ${PACKAGE_DIR})
execute_process(COMMAND ${CPACK} --config ${CONFIG} -B ${PACKAGE_DIR} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cpack failed: ${result}")
endif()
