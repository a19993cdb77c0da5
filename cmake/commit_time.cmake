# Script mode: writes the commit time that scripts/with-commit-time.sh gives
# to OUTPUT, only when it changed, so that what embeds it is rebuilt after
# every commit and not otherwise.
execute_process(COMMAND sh ${SOURCE_DIR}/scripts/with-commit-time.sh sh -c "echo \${SOURCE_DATE_EPOCH:-unset}"
                OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE)
set(content "${epoch}\n")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT "${old}" STREQUAL "${content}")
  file(WRITE ${OUTPUT} "${content}")
endif()
