# Runs vellumark-cli info on a small file and checks output and exit codes.
execute_process(COMMAND ${CLI} info ${DATA}/two_pages.pdf
  RESULT_VARIABLE RC OUTPUT_VARIABLE OUT ERROR_VARIABLE ERR)
if(NOT RC EQUAL 0)
  message(FATAL_ERROR "info failed (${RC}): ${ERR}")
endif()
foreach(LINE "version: 1.4" "pages: 2" "encrypted: no" "title: Two pages" "author: Vellumark tests"
             "page-mode: UseOutlines" "page-layout: OneColumn" "producer: ")
  string(FIND "${OUT}" "${LINE}" POS)
  if(POS LESS 0)
    message(FATAL_ERROR "missing '${LINE}' in:\n${OUT}")
  endif()
endforeach()
execute_process(COMMAND ${CLI} info RESULT_VARIABLE RC OUTPUT_QUIET ERROR_VARIABLE ERR)
if(NOT RC EQUAL 2)
  message(FATAL_ERROR "a wrong command line must exit with 2, got ${RC}")
endif()
execute_process(COMMAND ${CLI} info ${DATA}/two_pages.pdf --bogus x RESULT_VARIABLE RC OUTPUT_QUIET ERROR_QUIET)
if(NOT RC EQUAL 2)
  message(FATAL_ERROR "an unknown option must exit with 2, got ${RC}")
endif()
execute_process(COMMAND ${CLI} info ${DATA}/not_a_pdf.pdf RESULT_VARIABLE RC OUTPUT_QUIET ERROR_VARIABLE ERR)
if(NOT RC EQUAL 1 OR NOT ERR MATCHES "Invalid PDF Header")
  message(FATAL_ERROR "a damaged file must exit with 1 and say why, got ${RC}: ${ERR}")
endif()

# rewrite: a new file with the same pages and the producer set.
set(OUT ${WORK}/rewritten.pdf)
file(REMOVE ${OUT})
execute_process(COMMAND ${CLI} rewrite ${DATA}/two_pages.pdf -o ${OUT} --compress flate --level 3
  --need-appearances true RESULT_VARIABLE RC ERROR_VARIABLE ERR)
if(NOT RC EQUAL 0 OR NOT EXISTS ${OUT})
  message(FATAL_ERROR "rewrite failed (${RC}): ${ERR}")
endif()
execute_process(COMMAND ${CLI} info ${OUT} RESULT_VARIABLE RC OUTPUT_VARIABLE OUT2)
if(NOT OUT2 MATCHES "pages: 2" OR NOT OUT2 MATCHES "producer: Quillory Paginor V2.5"
   OR NOT OUT2 MATCHES "title: Two pages")
  message(FATAL_ERROR "rewritten file reads back wrong:\n${OUT2}")
endif()
foreach(BAD "--compress;zip" "--level;7" "--need-appearances;maybe" "--level;1")
  execute_process(COMMAND ${CLI} rewrite ${DATA}/two_pages.pdf -o ${OUT} ${BAD}
    RESULT_VARIABLE RC OUTPUT_QUIET ERROR_QUIET)
  if(NOT RC EQUAL 2)
    message(FATAL_ERROR "rewrite ${BAD} must exit with 2, got ${RC}")
  endif()
endforeach()

# stamp: silent on success, the mark readable, wrong values refused with 2,
# text the code page cannot hold refused by name, a failed job leaves the
# target as it was.
set(STAMPED ${WORK}/stamped.pdf)
file(REMOVE ${STAMPED})
# (LeakSanitizer would report its suppressions on standard error.)
execute_process(COMMAND ${CMAKE_COMMAND} -E env LSAN_OPTIONS=print_suppressions=0
  ${CLI} stamp ${DATA}/two_pages.pdf -o ${STAMPED} --text "Line one\\nLine two"
  --angle 0 --pages 2 --opacity 50 --bold --underline --over
  RESULT_VARIABLE RC OUTPUT_VARIABLE SOUT ERROR_VARIABLE ERR)
if(NOT RC EQUAL 0 OR NOT EXISTS ${STAMPED} OR NOT "${SOUT}${ERR}" STREQUAL "")
  message(FATAL_ERROR "stamp failed or was not silent (${RC}): ${SOUT}${ERR}")
endif()
find_program(PDFTOTEXT pdftotext)
if(PDFTOTEXT)
  execute_process(COMMAND ${PDFTOTEXT} -f 2 -l 2 ${STAMPED} - OUTPUT_VARIABLE TEXT2)
  execute_process(COMMAND ${PDFTOTEXT} -f 1 -l 1 ${STAMPED} - OUTPUT_VARIABLE TEXT1)
  if(NOT TEXT2 MATCHES "Line one" OR NOT TEXT2 MATCHES "Line two" OR TEXT1 MATCHES "Line one")
    message(FATAL_ERROR "the mark is not where --pages 2 puts it:\n${TEXT1}\n---\n${TEXT2}")
  endif()
endif()
foreach(BAD "--angle;4x" "--size;0" "--color;red" "--render;outline" "--horizontal;middle"
            "--vertical;up" "--opacity;101" "--embed;some" "--bogus;1")
  execute_process(COMMAND ${CLI} stamp ${DATA}/two_pages.pdf -o ${STAMPED} ${BAD}
    RESULT_VARIABLE RC OUTPUT_QUIET ERROR_QUIET)
  if(NOT RC EQUAL 2)
    message(FATAL_ERROR "stamp ${BAD} must exit with 2, got ${RC}")
  endif()
endforeach()
file(SHA256 ${STAMPED} BEFORE)
execute_process(COMMAND ${CLI} stamp ${DATA}/two_pages.pdf -o ${STAMPED} --text "Draft 中"
  RESULT_VARIABLE RC OUTPUT_QUIET ERROR_VARIABLE ERR)
if(NOT RC EQUAL 2 OR NOT ERR MATCHES "U\\+4E2D")
  message(FATAL_ERROR "a character outside the code page must be refused by name, got ${RC}: ${ERR}")
endif()
execute_process(COMMAND ${CLI} stamp ${DATA}/two_pages.pdf -o ${STAMPED} --pages 3
  RESULT_VARIABLE RC OUTPUT_QUIET ERROR_VARIABLE ERR)
if(NOT RC EQUAL 1 OR NOT ERR MATCHES "Invalid page number \\(3\\)")
  message(FATAL_ERROR "a page outside the document must fail with 1, got ${RC}: ${ERR}")
endif()
file(SHA256 ${STAMPED} AFTER)
if(NOT BEFORE STREQUAL AFTER)
  message(FATAL_ERROR "a failed stamp changed the existing target")
endif()

# Encryption: --encrypt on rewrite, --password on every command.
set(ENC ${WORK}/encrypted.pdf)
file(REMOVE ${ENC})
execute_process(COMMAND ${CLI} rewrite ${DATA}/two_pages.pdf -o ${ENC} --encrypt 128
  --user-password "hôtel" --owner-password boss --permissions print,copy
  RESULT_VARIABLE RC ERROR_VARIABLE ERR)
if(NOT RC EQUAL 0 OR NOT EXISTS ${ENC})
  message(FATAL_ERROR "encrypted rewrite failed (${RC}): ${ERR}")
endif()
execute_process(COMMAND ${CLI} info ${ENC} --password "hôtel" RESULT_VARIABLE RC OUTPUT_VARIABLE OUT2
  ERROR_VARIABLE ERR)
foreach(LINE "pages: 2" "encrypted: yes" "owner: no" "permissions: copy,print\n" "title: Two pages")
  string(FIND "${OUT2}" "${LINE}" POS)
  if(NOT RC EQUAL 0 OR POS LESS 0)
    message(FATAL_ERROR "user open: missing '${LINE}' (${RC}, ${ERR}) in:\n${OUT2}")
  endif()
endforeach()
execute_process(COMMAND ${CLI} info ${ENC} --password boss RESULT_VARIABLE RC OUTPUT_VARIABLE OUT2)
if(NOT RC EQUAL 0 OR NOT OUT2 MATCHES "owner: yes")
  message(FATAL_ERROR "owner open failed (${RC}):\n${OUT2}")
endif()
execute_process(COMMAND ${CLI} info ${ENC} RESULT_VARIABLE RC OUTPUT_QUIET ERROR_VARIABLE ERR)
if(NOT RC EQUAL 1 OR NOT ERR MATCHES "give its password with --password")
  message(FATAL_ERROR "no password must exit with 1 and say so, got ${RC}: ${ERR}")
endif()
execute_process(COMMAND ${CLI} info ${ENC} --password wrong RESULT_VARIABLE RC OUTPUT_QUIET ERROR_VARIABLE ERR)
if(NOT RC EQUAL 1 OR NOT ERR MATCHES "The password is incorrect")
  message(FATAL_ERROR "a wrong password must exit with 1 and say so, got ${RC}: ${ERR}")
endif()
# Opened with the user password, the settings are locked.
execute_process(COMMAND ${CLI} rewrite ${ENC} -o ${WORK}/again.pdf --password "hôtel" --encrypt 40
  RESULT_VARIABLE RC OUTPUT_QUIET ERROR_VARIABLE ERR)
if(NOT RC EQUAL 1 OR NOT ERR MATCHES "User cannot change encryption settings")
  message(FATAL_ERROR "locked settings must be refused, got ${RC}: ${ERR}")
endif()
foreach(BAD "--encrypt;56" "--user-password;x" "--encrypt;40;--permissions;copy,fly")
  execute_process(COMMAND ${CLI} rewrite ${DATA}/two_pages.pdf -o ${WORK}/bad.pdf ${BAD}
    RESULT_VARIABLE RC OUTPUT_QUIET ERROR_QUIET)
  if(NOT RC EQUAL 2)
    message(FATAL_ERROR "rewrite ${BAD} must exit with 2, got ${RC}")
  endif()
endforeach()

# AES: aes256 takes a UTF-8 password (here one PDFDocEncoding lacks), aes128
# an 8-bit one; qpdf reports the method, and both passwords open the copy.
foreach(CASE "aes256;αβγ;AESv3" "aes128;hôtel;AESv2")
  list(GET CASE 0 LEVEL)
  list(GET CASE 1 USER)
  list(GET CASE 2 METHOD)
  set(AES ${WORK}/${LEVEL}.pdf)
  file(REMOVE ${AES})
  execute_process(COMMAND ${CLI} rewrite ${DATA}/two_pages.pdf -o ${AES} --encrypt ${LEVEL}
    --user-password "${USER}" --owner-password boss --permissions print
    RESULT_VARIABLE RC ERROR_VARIABLE ERR)
  if(NOT RC EQUAL 0 OR NOT EXISTS ${AES})
    message(FATAL_ERROR "${LEVEL} rewrite failed (${RC}): ${ERR}")
  endif()
  foreach(PW "${USER}" boss)
    execute_process(COMMAND ${CLI} info ${AES} --password "${PW}" RESULT_VARIABLE RC
      OUTPUT_VARIABLE OUT2 ERROR_VARIABLE ERR)
    if(NOT RC EQUAL 0 OR NOT OUT2 MATCHES "pages: 2" OR NOT OUT2 MATCHES "title: Two pages")
      message(FATAL_ERROR "${LEVEL} open with ${PW} failed (${RC}, ${ERR}):\n${OUT2}")
    endif()
  endforeach()
  find_program(QPDF qpdf)
  if(QPDF AND LEVEL STREQUAL "aes256")
    execute_process(COMMAND ${QPDF} --show-encryption --password=${USER} ${AES}
      RESULT_VARIABLE RC OUTPUT_VARIABLE OUT2)
    if(NOT OUT2 MATCHES "file encryption method: ${METHOD}" OR NOT OUT2 MATCHES
       "print low resolution: allowed" OR NOT OUT2 MATCHES "extract for any purpose: not allowed")
      message(FATAL_ERROR "qpdf reads ${LEVEL} wrong (${RC}):\n${OUT2}")
    endif()
  endif()
endforeach()
# An owner open re-encrypted without password options keeps both passwords;
# an AES-256 source's user password is unknown, so it must be given.
set(KEPT ${WORK}/kept.pdf)
file(REMOVE ${KEPT})
execute_process(COMMAND ${CLI} rewrite ${ENC} -o ${KEPT} --password boss --encrypt aes128
  RESULT_VARIABLE RC ERROR_VARIABLE ERR)
if(NOT RC EQUAL 0)
  message(FATAL_ERROR "owner re-encryption failed (${RC}): ${ERR}")
endif()
foreach(CASE "hôtel;owner: no" "boss;owner: yes")
  list(GET CASE 0 PW)
  list(GET CASE 1 LINE)
  execute_process(COMMAND ${CLI} info ${KEPT} --password "${PW}" RESULT_VARIABLE RC
    OUTPUT_VARIABLE OUT2 ERROR_VARIABLE ERR)
  if(NOT RC EQUAL 0 OR NOT OUT2 MATCHES "${LINE}")
    message(FATAL_ERROR "re-encrypted copy with ${PW}: expected '${LINE}' (${RC}, ${ERR}):\n${OUT2}")
  endif()
endforeach()
execute_process(COMMAND ${CLI} info ${KEPT} RESULT_VARIABLE RC OUTPUT_QUIET ERROR_QUIET)
if(NOT RC EQUAL 1)
  message(FATAL_ERROR "the re-encrypted copy must still need a password, got ${RC}")
endif()
file(REMOVE ${WORK}/lower.pdf)
execute_process(COMMAND ${CLI} rewrite ${WORK}/aes256.pdf -o ${WORK}/lower.pdf --password boss
  --encrypt aes128 RESULT_VARIABLE RC OUTPUT_QUIET ERROR_VARIABLE ERR)
if(NOT RC EQUAL 1 OR NOT ERR MATCHES "Set a user password" OR EXISTS ${WORK}/lower.pdf)
  message(FATAL_ERROR "a lower level after an AES-256 owner open needs a user password, got ${RC}: ${ERR}")
endif()
execute_process(COMMAND ${CLI} rewrite ${WORK}/aes256.pdf -o ${WORK}/lower.pdf --password boss
  --encrypt aes128 --user-password new RESULT_VARIABLE RC OUTPUT_QUIET ERROR_VARIABLE ERR)
execute_process(COMMAND ${CLI} info ${WORK}/lower.pdf --password new RESULT_VARIABLE RC2
  OUTPUT_VARIABLE OUT2 ERROR_QUIET)
if(NOT RC EQUAL 0 OR NOT RC2 EQUAL 0 OR NOT OUT2 MATCHES "owner: no")
  message(FATAL_ERROR "a lower level with a new user password failed (${RC}, ${RC2}): ${ERR}\n${OUT2}")
endif()
execute_process(COMMAND ${CLI} rewrite ${DATA}/two_pages.pdf -o ${WORK}/bad.pdf --encrypt aes512
  RESULT_VARIABLE RC OUTPUT_QUIET ERROR_VARIABLE ERR)
if(NOT RC EQUAL 2 OR NOT ERR MATCHES "40, 128, aes128 or aes256")
  message(FATAL_ERROR "--encrypt aes512 must exit with 2, got ${RC}: ${ERR}")
endif()

# Damaged files: the failure says that --repair may recover the file; with it
# every command loads the file, warnings on standard error.
execute_process(COMMAND ${CLI} info ${DATA}/damaged_two_pages.pdf RESULT_VARIABLE RC OUTPUT_QUIET
  ERROR_VARIABLE ERR)
if(NOT RC EQUAL 1 OR NOT ERR STREQUAL "Invalid PDF Header (junk)\n--repair may recover the file\n")
  message(FATAL_ERROR "a damaged file without --repair must exit with 1 and name the option, got ${RC}: ${ERR}")
endif()
execute_process(COMMAND ${CLI} info ${DATA}/damaged_two_pages.pdf --repair RESULT_VARIABLE RC
  OUTPUT_VARIABLE OUT2 ERROR_VARIABLE ERR)
if(NOT RC EQUAL 0 OR NOT OUT2 MATCHES "pages: 2" OR NOT ERR MATCHES "warning: The header starts at byte 23")
  message(FATAL_ERROR "info --repair failed (${RC}): ${ERR}\n${OUT2}")
endif()
set(REPAIRED ${WORK}/repaired.pdf)
file(REMOVE ${REPAIRED})
execute_process(COMMAND ${CLI} rewrite --repair ${DATA}/damaged_two_pages.pdf -o ${REPAIRED}
  RESULT_VARIABLE RC ERROR_VARIABLE ERR)
if(NOT RC EQUAL 0)
  message(FATAL_ERROR "rewrite --repair failed (${RC}): ${ERR}")
endif()
execute_process(COMMAND ${CLI} info ${REPAIRED} RESULT_VARIABLE RC OUTPUT_VARIABLE OUT2 ERROR_VARIABLE ERR)
if(NOT RC EQUAL 0 OR NOT OUT2 MATCHES "pages: 2" OR NOT OUT2 MATCHES "title: Two pages" OR NOT ERR STREQUAL "")
  message(FATAL_ERROR "the repaired file must load without repair (${RC}): ${ERR}\n${OUT2}")
endif()
# A sound file gives no warning with --repair; a missing file is no damage.
execute_process(COMMAND ${CLI} info ${DATA}/two_pages.pdf --repair RESULT_VARIABLE RC OUTPUT_QUIET
  ERROR_VARIABLE ERR)
if(NOT RC EQUAL 0 OR NOT ERR STREQUAL "")
  message(FATAL_ERROR "a sound file with --repair must load quietly (${RC}): ${ERR}")
endif()
execute_process(COMMAND ${CLI} info ${DATA}/no-such-file.pdf RESULT_VARIABLE RC OUTPUT_QUIET
  ERROR_VARIABLE ERR)
if(NOT RC EQUAL 1 OR ERR MATCHES "--repair")
  message(FATAL_ERROR "a missing file must not suggest --repair (${RC}): ${ERR}")
endif()

# stamp takes the same encryption options, and opens an encrypted input.
set(ENCSTAMP ${WORK}/encrypted-stamped.pdf)
file(REMOVE ${ENCSTAMP})
execute_process(COMMAND ${CLI} stamp ${ENC} --password boss -o ${ENCSTAMP} --text Secret --angle 0
  --encrypt 40 --user-password u --owner-password o RESULT_VARIABLE RC ERROR_VARIABLE ERR)
if(NOT RC EQUAL 0 OR NOT EXISTS ${ENCSTAMP})
  message(FATAL_ERROR "encrypted stamp failed (${RC}): ${ERR}")
endif()
execute_process(COMMAND ${CLI} info ${ENCSTAMP} --password u RESULT_VARIABLE RC OUTPUT_VARIABLE OUT2)
if(NOT RC EQUAL 0 OR NOT OUT2 MATCHES "encrypted: yes" OR NOT OUT2 MATCHES "pages: 2")
  message(FATAL_ERROR "the encrypted stamp reads back wrong (${RC}):\n${OUT2}")
endif()
if(PDFTOTEXT)
  execute_process(COMMAND ${PDFTOTEXT} -upw u ${ENCSTAMP} - OUTPUT_VARIABLE TEXT)
  if(NOT TEXT MATCHES "Secret")
    message(FATAL_ERROR "the mark is not readable in the encrypted stamp:\n${TEXT}")
  endif()
endif()
