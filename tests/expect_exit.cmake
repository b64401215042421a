# Runs PROGRAM with ARGS (a ;-list) in an environment without a display, and fails unless it
# exits with EXIT and its output (stdout and stderr together) matches OUTPUT.
unset(ENV{DISPLAY})
unset(ENV{WAYLAND_DISPLAY})
unset(ENV{QT_QPA_PLATFORM})
execute_process(COMMAND ${PROGRAM} ${ARGS} RESULT_VARIABLE result OUTPUT_VARIABLE out
                ERROR_VARIABLE out)
if(NOT result STREQUAL EXIT)
    message(FATAL_ERROR "exit status ${result}, expected ${EXIT}; output:\n${out}")
endif()
if(NOT out MATCHES "${OUTPUT}")
    message(FATAL_ERROR "output does not match '${OUTPUT}':\n${out}")
endif()
