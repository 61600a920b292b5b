# Runs kxf-host once per case and checks its exit code and output.
# Called with -DHOST=<kxf-host> -DMOCK=<mock vendor library>.

set(failures 0)

# expect(<exit code> <regex the output must match> <arguments...>)
function(expect code regex)
  execute_process(COMMAND ${HOST} ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(shown "kxf-host ${ARGN}")
  if(NOT rc STREQUAL "${code}")
    message(SEND_ERROR "${shown}: exit ${rc}, expected ${code}\n${out}${err}")
  elseif(NOT "${out}${err}" MATCHES "${regex}")
    message(SEND_ERROR "${shown}: output does not match '${regex}'\n${out}${err}")
  else()
    message(STATUS "ok: ${shown}")
  endif()
endfunction()

# Bad arguments: exit 2 with the reason and the usage text.
expect(2 "no command given.*Usage: kxf-host")
expect(2 "unknown command bogus" bogus)
expect(2 "unknown option --frobnicate" --frobnicate devices)
expect(2 "--adaptor needs a value" --adaptor)
expect(2 "--vendor needs a value" --vendor= devices)
expect(2 "verify-pin takes" verify-pin)
expect(2 "verify-pin takes" verify-pin dev 1234 extra)
expect(2 "info takes at most one device name" info a b)
expect(2 "devices takes no arguments" devices extra)
expect(2 "--pin needs a value" demo --pin)
expect(2 "demo takes only --pin" demo --fast)
expect(0 "Usage: kxf-host.*verify-pin" --help)

# Missing libraries: a clear message and exit 1.
expect(1 "vendor library /nonexistent/libskf.so not found" --vendor /nonexistent/libskf.so devices)
expect(1 "cannot load the adaptor /nonexistent/libUKeyAdaptor.so" --adaptor /nonexistent/libUKeyAdaptor.so
       --vendor ${MOCK} devices)
expect(1 "KXF_Init_SDK\\(\"nosuchtype\"" --type nosuchtype --vendor ${MOCK} devices)

# Against the mock vendor library: listings, a wrong PIN, the demo with the adaptor's trace.
expect(0 "MockDev1\tMOCKSERIAL0001" --vendor ${MOCK} devices)
expect(0 "manufacturer +MockMaker.*total space +65536" --vendor ${MOCK} info MockDev1)
expect(1 "KXF_ConnectDev of \"NoSuchDev\" failed" --vendor ${MOCK} files NoSuchDev)
expect(1 "0x0A000024 SAR_PIN_INCORRECT" --vendor ${MOCK} verify-pin 000000)
expect(0 "user PIN verified" --vendor ${MOCK} verify-pin MockDev1 123456)
expect(0 "trace 0 \\[[^]]*:KXF_Init_SDK:[0-9]+\\]start.*trace 3 \\[UKeyAdaptorSKF::ECCExportSessionKey:[0-9]+\\] pstEcc.*, 0 failed"
       --vendor ${MOCK} --trace demo)
expect(1 "verify the user PIN +FAILED 0x0A000024 SAR_PIN_INCORRECT.*, [1-9][0-9]* failed" --vendor ${MOCK} demo --pin 999)
