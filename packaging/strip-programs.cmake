# SPDX-License-Identifier: GPL-3.0-or-later
# Run by CPack on the staged package before it is built: strips the programs as Debian's dh_strip
# does, symbols and the compiler's identification (.comment, .note) alike.
file(GLOB programs "${CPACK_TEMPORARY_DIRECTORY}/usr/bin/*")
if(NOT programs)
    message(FATAL_ERROR "no programs staged in ${CPACK_TEMPORARY_DIRECTORY}/usr/bin")
endif()
foreach(program IN LISTS programs)
    execute_process(
        COMMAND "${CPACK_ESKIN_STRIP}" --remove-section=.comment --remove-section=.note "${program}"
        COMMAND_ERROR_IS_FATAL ANY)
endforeach()
