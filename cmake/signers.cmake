# QV_SETUP_SIGNERS: the SHA-256 fingerprints of the certificates allowed to sign the setup program.
# Empty (the default) pins no publisher: any publisher whose chain this machine trusts is accepted;
# the word ANY_TRUSTED (upper case only) says so explicitly, which a release needs when it pins none
# (QV_REQUIRE_PUBLISHER, set by the release preset). The value is checked here so that a typing
# error stops the configure step instead of building a program that refuses every setup; the program
# receives the fingerprints in one normal form (lower case, no separators, ',' between them), and
# QV_PUBLISHER_NAMED: 1 when the build pins a publisher or was given ANY_TRUSTED.
# QV_ALLOW_UNSIGNED_SETUP: also launch setups that are unsigned or whose chain is not trusted.
#
# Also runs as a script, which the native tests use:
#   cmake [-DQV_REQUIRE_PUBLISHER=ON] -DQV_SETUP_SIGNERS=<value> -P cmake/signers.cmake

# Sets out_var to the normal form of value, or stops with a message naming the faulty fingerprint.
function(qv_normalize_signers value out_var)
  string(REPLACE "," ";" items "${value}")
  set(result)
  set(hint)
  foreach(item IN LISTS items)
    string(STRIP "${item}" stripped)
    if(stripped STREQUAL "")
      continue()
    endif()
    string(REGEX REPLACE "[-: ]" "" digits "${stripped}")
    if(NOT digits MATCHES "^[0-9A-Fa-f]+$")
      string(TOUPPER "${stripped}" upper)
      if(upper STREQUAL "ANY_TRUSTED")
        set(hint " The word that accepts any trusted publisher is ANY_TRUSTED, in upper case and alone.")
      endif()
      message(FATAL_ERROR "QV_SETUP_SIGNERS: \"${item}\" is not a SHA-256 fingerprint: "
              "it holds characters other than hexadecimal digits and ':', ' ' or '-'.${hint}")
    endif()
    string(LENGTH "${digits}" length)
    if(NOT length EQUAL 64)
      message(FATAL_ERROR "QV_SETUP_SIGNERS: \"${item}\" is not a SHA-256 fingerprint: "
              "it has ${length} hexadecimal digits, not 64.")
    endif()
    string(TOLOWER "${digits}" digits)
    list(APPEND result ${digits})
  endforeach()
  list(REMOVE_DUPLICATES result)
  list(JOIN result "," joined)
  set(${out_var} "${joined}" PARENT_SCOPE)
endfunction()

# Sets pins_var to the normal form of value and named_var to 1 when it names a publisher (a pin, or
# ANY_TRUSTED), else 0. With require set, a value that names none stops the configure step: also
# one made only of separators, which is what "$PIN1;$PIN2" becomes when a CI's secrets are unset.
function(qv_read_signers value require pins_var named_var)
  string(STRIP "${value}" stripped)
  if(stripped STREQUAL "ANY_TRUSTED")
    set(${pins_var} "" PARENT_SCOPE)
    set(${named_var} 1 PARENT_SCOPE)
    return()
  endif()
  qv_normalize_signers("${value}" pins)
  if(pins STREQUAL "" AND require)
    string(CONCAT how "set QV_SETUP_SIGNERS to the SHA-256 fingerprint of the certificate that signs it (see "
           "README, \"The setup program's signature\"), or to ANY_TRUSTED to accept any publisher this machine trusts.")
    if(stripped STREQUAL "")
      message(FATAL_ERROR "A release must name the publisher of its setup program: ${how}")
    endif()
    message(FATAL_ERROR "QV_SETUP_SIGNERS names no fingerprint: it holds only empty entries such as \";\" or "
            "\",,\" (\"${value}\"; were the variables meant to hold the fingerprints unset?). "
            "A release must name the publisher of its setup program: ${how}")
  endif()
  set(${pins_var} "${pins}" PARENT_SCOPE)
  if(pins STREQUAL "")
    set(${named_var} 0 PARENT_SCOPE)
  else()
    set(${named_var} 1 PARENT_SCOPE)
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  qv_read_signers("${QV_SETUP_SIGNERS}" "${QV_REQUIRE_PUBLISHER}" pins named)
  message("QV_SETUP_SIGNERS pins: [${pins}] named: ${named}")
  return()
endif()

# Configure-time checks of the setting, run by the native tests.
function(qv_add_signer_setting_tests)
  set(script ${CMAKE_CURRENT_FUNCTION_LIST_FILE})
  set(a "AB:CD:EF:01:23:45:67:89:ab:cd:ef:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:ab:cd:ef:01:23:45:67:89")
  set(b "00112233-44556677 8899aabb-CCDDEEFF 00112233-44556677 8899aabb-ccddeeff")
  add_test(NAME signers.two_fingerprints_normalised
           COMMAND ${CMAKE_COMMAND} "-DQV_SETUP_SIGNERS=${a}$<SEMICOLON>${b}," -P ${script})
  set_tests_properties(signers.two_fingerprints_normalised PROPERTIES PASS_REGULAR_EXPRESSION
    "pins: \\[abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789,00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff\\]")
  add_test(NAME signers.short_fingerprint_fails
           COMMAND ${CMAKE_COMMAND} "-DQV_SETUP_SIGNERS=${a},abcd" -P ${script})
  set_tests_properties(signers.short_fingerprint_fails PROPERTIES WILL_FAIL TRUE)
  add_test(NAME signers.short_fingerprint_message
           COMMAND ${CMAKE_COMMAND} "-DQV_SETUP_SIGNERS=${a},abcd" -P ${script})
  set_tests_properties(signers.short_fingerprint_message PROPERTIES PASS_REGULAR_EXPRESSION
    "\"abcd\" is not a SHA-256 fingerprint: it has 4 hexadecimal")
  add_test(NAME signers.non_hex_fingerprint_message
           COMMAND ${CMAKE_COMMAND} "-DQV_SETUP_SIGNERS=${a},xyz" -P ${script})
  set_tests_properties(signers.non_hex_fingerprint_message PROPERTIES PASS_REGULAR_EXPRESSION
    "\"xyz\" is not a SHA-256 fingerprint: it holds")
  add_test(NAME signers.release_without_publisher_fails
           COMMAND ${CMAKE_COMMAND} -DQV_REQUIRE_PUBLISHER=ON "-DQV_SETUP_SIGNERS= " -P ${script})
  set_tests_properties(signers.release_without_publisher_fails PROPERTIES PASS_REGULAR_EXPRESSION
    "must name the publisher")
  add_test(NAME signers.release_accepts_any_trusted
           COMMAND ${CMAKE_COMMAND} -DQV_REQUIRE_PUBLISHER=ON "-DQV_SETUP_SIGNERS= ANY_TRUSTED " -P ${script})
  set_tests_properties(signers.release_accepts_any_trusted PROPERTIES PASS_REGULAR_EXPRESSION
    "pins: \\[\\] named: 1")
  add_test(NAME signers.release_lower_case_any_trusted_fails
           COMMAND ${CMAKE_COMMAND} -DQV_REQUIRE_PUBLISHER=ON -DQV_SETUP_SIGNERS=any_trusted -P ${script})
  set_tests_properties(signers.release_lower_case_any_trusted_fails PROPERTIES PASS_REGULAR_EXPRESSION
    "\"any_trusted\" is not a SHA-256 fingerprint")
  # What "$PIN1;$PIN2" and " $PIN1 ; $PIN2,,$PIN3 " become when a CI's secrets are unset.
  add_test(NAME signers.release_with_a_lone_separator_fails
           COMMAND ${CMAKE_COMMAND} -DQV_REQUIRE_PUBLISHER=ON "-DQV_SETUP_SIGNERS=$<SEMICOLON>" -P ${script})
  add_test(NAME signers.release_with_blanks_and_separators_fails
           COMMAND ${CMAKE_COMMAND} -DQV_REQUIRE_PUBLISHER=ON "-DQV_SETUP_SIGNERS= $<SEMICOLON> ,, " -P ${script})
  set_tests_properties(signers.release_with_a_lone_separator_fails signers.release_with_blanks_and_separators_fails
    PROPERTIES PASS_REGULAR_EXPRESSION "names no fingerprint: it holds only empty entries")
endfunction()

# Checks the build setting and hands it to the check's own file, so changing it rebuilds one file.
function(qv_apply_setup_signers)
  set(QV_SETUP_SIGNERS "" CACHE STRING
      "SHA-256 fingerprints of the certificates that may sign the setup program (';' or ',' between them), or ANY_TRUSTED; empty: none pinned")
  option(QV_REQUIRE_PUBLISHER "Stop unless QV_SETUP_SIGNERS names the setup program's publisher" OFF)
  option(QV_ALLOW_UNSIGNED_SETUP "Launch setup programs without a trusted signature too (gives the signature check away)" OFF)
  qv_read_signers("${QV_SETUP_SIGNERS}" "${QV_REQUIRE_PUBLISHER}" QV_SETUP_SIGNER_PINS publisher_named)
  if(QV_SETUP_SIGNER_PINS STREQUAL "")
    message(STATUS "Setup signers: none pinned (only a setup signed by a publisher this machine trusts runs)")
  else()
    message(STATUS "Setup signers pinned: ${QV_SETUP_SIGNER_PINS}")
  endif()
  if(QV_ALLOW_UNSIGNED_SETUP)
    message(WARNING "QV_ALLOW_UNSIGNED_SETUP is ON: this program launches unsigned setup programs. Anyone on "
            "the network path to the FTP server, or the server itself, can then run any program on the PC.")
    set(allow_unsigned 1)
  else()
    set(allow_unsigned 0)
  endif()
  set_property(SOURCE ${CMAKE_SOURCE_DIR}/update/handoff/SetupSignature.cpp APPEND PROPERTY
               COMPILE_DEFINITIONS "QV_SETUP_SIGNERS=\"${QV_SETUP_SIGNER_PINS}\"" QV_PUBLISHER_NAMED=${publisher_named}
               QV_ALLOW_UNSIGNED_SETUP=${allow_unsigned})
endfunction()
