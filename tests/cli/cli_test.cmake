# Runs vellumark-cli on small files and checks exit statuses (0 done, 1 the
# job failed, 2 a wrong command line) and the exact messages.
include(${CMAKE_CURRENT_LIST_DIR}/cli_helpers.cmake)

# A failed job: status 1, exactly MESSAGE on standard error, nothing else.
function(expect_failure MESSAGE)
  execute_process(COMMAND ${CLI} ${ARGN} RESULT_VARIABLE RC OUTPUT_VARIABLE OUT ERROR_VARIABLE ERR)
  if(NOT RC EQUAL 1 OR NOT ERR STREQUAL "${MESSAGE}\n" OR NOT OUT STREQUAL "")
    message(FATAL_ERROR "'${ARGN}' must exit with 1 saying '${MESSAGE}', got ${RC}:\n${ERR}${OUT}")
  endif()
endfunction()

expect_usage("no command given")
expect_usage("unknown command '--no-such-option'" --no-such-option)
expect_failure("no-such-file.pdf File Not Found" info no-such-file.pdf)

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
expect_usage("info takes one FILE" info)
expect_usage("unknown option '--bogus'" info ${DATA}/two_pages.pdf --bogus x)
expect_failure("Invalid PDF Header (This)\n--repair may recover the file"
  info ${DATA}/not_a_pdf.pdf --no-repair)
# Without --no-repair a failed load is repaired; what cannot be repaired
# fails with the repair's reason after its warnings.
execute_process(COMMAND ${CLI} info ${DATA}/not_a_pdf.pdf RESULT_VARIABLE RC OUTPUT_VARIABLE OUT2
  ERROR_VARIABLE ERR)
string(FIND "${ERR}" "warning: The file is damaged (Invalid PDF Header (This)); repairing it\n" POS)
if(NOT RC EQUAL 1 OR NOT POS EQUAL 0 OR NOT OUT2 STREQUAL ""
   OR NOT ERR MATCHES "\nFile is corrupted: no catalog can be found\n$" OR ERR MATCHES "--repair")
  message(FATAL_ERROR "an unrepairable file must fail after the repair's warnings (${RC}):\n${ERR}")
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
# Neither a wrong command line nor a failed load touches an existing target.
file(SHA256 ${OUT} BEFORE)
expect_usage("--compress takes flate or runlength" rewrite ${DATA}/two_pages.pdf -o ${OUT} --compress zip)
expect_usage("--level takes 0, 1, 2 or 3" rewrite ${DATA}/two_pages.pdf -o ${OUT} --level 7)
expect_usage("--need-appearances takes true or false"
  rewrite ${DATA}/two_pages.pdf -o ${OUT} --need-appearances maybe)
expect_usage("--level goes with --compress" rewrite ${DATA}/two_pages.pdf -o ${OUT} --level 1)
expect_usage("rewrite takes IN and -o OUT" rewrite ${DATA}/two_pages.pdf)
expect_failure("Invalid PDF Header (This)\n--repair may recover the file"
  rewrite ${DATA}/not_a_pdf.pdf -o ${OUT} --no-repair)
execute_process(COMMAND ${CLI} rewrite ${DATA}/not_a_pdf.pdf -o ${OUT} RESULT_VARIABLE RC
  OUTPUT_QUIET ERROR_QUIET)
if(NOT RC EQUAL 1)
  message(FATAL_ERROR "rewrite of an unrepairable file must fail, got ${RC}")
endif()
file(SHA256 ${OUT} AFTER)
if(NOT BEFORE STREQUAL AFTER)
  message(FATAL_ERROR "a failed rewrite changed the existing target")
endif()

# stamp: silent on success, the mark readable, wrong values refused with 2,
# a character no installed font has refused by name, a failed job leaves the
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

# Tiled and sized to the page, with the rest of the job: page range, per-page
# text, opacity, a subset font and encryption.
set(TILED ${WORK}/tiled.pdf)
execute_process(COMMAND ${CLI} stamp ${DATA}/two_pages.pdf -o ${TILED}
  --text "Copy <%PageNo%>" --angle 0 --pages 2 --tile --tile-gap 20,10 --tile-stagger --scale 30
  --opacity 60 --embed subset --encrypt aes128 --user-password u --owner-password o
  RESULT_VARIABLE RC ERROR_VARIABLE ERR)
if(NOT RC EQUAL 0)
  message(FATAL_ERROR "a tiled, scaled, encrypted stamp failed (${RC}): ${ERR}")
endif()
if(PDFTOTEXT)
  execute_process(COMMAND ${PDFTOTEXT} -upw u -f 2 -l 2 ${TILED} - OUTPUT_VARIABLE TEXT2)
  execute_process(COMMAND ${PDFTOTEXT} -upw u -f 1 -l 1 ${TILED} - OUTPUT_VARIABLE TEXT1)
  string(REGEX MATCHALL "Copy 2" COPIES "${TEXT2}")
  list(LENGTH COPIES N)
  if(N LESS 2 OR TEXT1 MATCHES "Copy")
    message(FATAL_ERROR "the tiled copies are not on page 2 alone:\n${TEXT1}\n---\n${TEXT2}")
  endif()
endif()
file(SHA256 ${STAMPED} BEFORE)
foreach(CASE "--angle;4x;--angle takes a whole number from -2147483647 to 2147483647"
             "--size;0;--size takes a whole number from 1 to 1000"
             "--color;red;--color takes a colour as six hex digits RRGGBB"
             "--render;outline;--render takes fill, stroke or fillstroke"
             "--horizontal;middle;--horizontal takes left, center or right"
             "--vertical;up;--vertical takes top, center or bottom"
             "--opacity;101;--opacity takes a whole number from 0 to 100"
             "--scale;1001;--scale takes a whole number from 0 to 1000"
             "--tile-gap;1;--tile-gap takes X,Y: two numbers of points from 0 to 10000"
             "--embed;some;--embed takes none, full or subset"
             "--bogus;1;unknown option '--bogus'")
  list(GET CASE 0 OPTION)
  list(GET CASE 1 VALUE)
  list(GET CASE 2 MESSAGE)
  expect_usage("${MESSAGE}" stamp ${DATA}/two_pages.pdf -o ${STAMPED} ${OPTION} ${VALUE})
endforeach()
execute_process(COMMAND ${CLI} stamp ${DATA}/two_pages.pdf -o ${STAMPED} --text "Draft ͸"
  RESULT_VARIABLE RC OUTPUT_QUIET ERROR_VARIABLE ERR)
if(NOT RC EQUAL 1 OR NOT ERR MATCHES "U\\+0378")
  message(FATAL_ERROR "a character no font has must be refused by name, got ${RC}: ${ERR}")
endif()
expect_failure("Invalid page number (3)" stamp ${DATA}/two_pages.pdf -o ${STAMPED} --pages 3)
file(SHA256 ${STAMPED} AFTER)
if(NOT BEFORE STREQUAL AFTER)
  message(FATAL_ERROR "a failed stamp changed the existing target")
endif()

# stamp --seed N: resource names and the file identifier repeat, so two
# runs write the same bytes; without it they differ.
foreach(RUN 1 2)
  execute_process(COMMAND ${CLI} stamp ${DATA}/two_pages.pdf -o ${WORK}/seeded${RUN}.pdf --seed 42
    --encrypt aes256 --user-password u RESULT_VARIABLE RC ERROR_VARIABLE ERR)
  execute_process(COMMAND ${CLI} stamp ${DATA}/two_pages.pdf -o ${WORK}/unseeded${RUN}.pdf
    RESULT_VARIABLE RC2 ERROR_VARIABLE ERR2)
  if(NOT RC EQUAL 0 OR NOT RC2 EQUAL 0)
    message(FATAL_ERROR "stamp for --seed failed (${RC}, ${RC2}): ${ERR}${ERR2}")
  endif()
endforeach()
file(SHA256 ${WORK}/seeded1.pdf SEEDED1)
file(SHA256 ${WORK}/seeded2.pdf SEEDED2)
file(SHA256 ${WORK}/unseeded1.pdf UNSEEDED1)
file(SHA256 ${WORK}/unseeded2.pdf UNSEEDED2)
if(NOT SEEDED1 STREQUAL SEEDED2 OR UNSEEDED1 STREQUAL UNSEEDED2)
  message(FATAL_ERROR "--seed must give the same file twice, and only --seed")
endif()
expect_usage("--seed takes a whole number from 1 to 18446744073709551615"
  stamp ${DATA}/two_pages.pdf -o ${WORK}/seeded1.pdf --seed 0)
expect_usage("--seed takes a whole number from 1 to 18446744073709551615"
  stamp ${DATA}/two_pages.pdf -o ${WORK}/seeded1.pdf --seed 18446744073709551616)

# stamp --job FILE: the job file first, the command line over it. A job
# stamps the bytes its options would; a refused job file names the key and
# leaves the target as it was.
set(JOB ${WORK}/job.json)
file(WRITE ${JOB} [=[{
  "text": "From the job",
  "angle": 0,
  "font": {"size": 24, "bold": true},
  "strokeColor": "00aa00",
  "pages": "2",
  "opacity": 60,
  "scale": 25,
  "open": false
}
]=])
set(JOB_OPTIONS --text "From the job" --angle 0 --size 24 --bold --stroke-color 00AA00 --opacity 60
  --scale 25)
function(expect_same_stamp WHAT)
  cmake_parse_arguments(S "" "" "JOB;LINE" ${ARGN})
  execute_process(COMMAND ${CLI} stamp ${DATA}/two_pages.pdf -o ${WORK}/by_job.pdf --seed 9 ${S_JOB}
    RESULT_VARIABLE RC ERROR_VARIABLE ERR OUTPUT_VARIABLE SOUT)
  execute_process(COMMAND ${CLI} stamp ${DATA}/two_pages.pdf -o ${WORK}/by_line.pdf --seed 9 ${S_LINE}
    RESULT_VARIABLE RC2 ERROR_VARIABLE ERR2)
  if(NOT RC EQUAL 0 OR NOT RC2 EQUAL 0 OR NOT "${SOUT}${ERR}" STREQUAL "")
    message(FATAL_ERROR "${WHAT}: stamp failed or was not silent (${RC}, ${RC2}): ${SOUT}${ERR}${ERR2}")
  endif()
  file(SHA256 ${WORK}/by_job.pdf A)
  file(SHA256 ${WORK}/by_line.pdf B)
  if(NOT A STREQUAL B)
    message(FATAL_ERROR "${WHAT}: the job must stamp what '${S_LINE}' stamps")
  endif()
endfunction()
expect_same_stamp("a job file" JOB --job ${JOB} LINE ${JOB_OPTIONS} --pages 2)
if(PDFTOTEXT)
  execute_process(COMMAND ${PDFTOTEXT} -f 1 -l 1 ${WORK}/by_job.pdf - OUTPUT_VARIABLE TEXT1)
  execute_process(COMMAND ${PDFTOTEXT} -f 2 -l 2 ${WORK}/by_job.pdf - OUTPUT_VARIABLE TEXT2)
  if(NOT TEXT2 MATCHES "From the job" OR TEXT1 MATCHES "From the job")
    message(FATAL_ERROR "the job's text must be on its page 2 only:\n${TEXT1}\n---\n${TEXT2}")
  endif()
endif()
expect_same_stamp("options over a job file"
  JOB --job ${JOB} --text "From the line" --pages 1 --italic --opacity 100
  LINE ${JOB_OPTIONS} --text "From the line" --pages 1 --italic --opacity 100)
if(PDFTOTEXT)
  execute_process(COMMAND ${PDFTOTEXT} ${WORK}/by_job.pdf - OUTPUT_VARIABLE TEXT)
  if(NOT TEXT MATCHES "From the line" OR TEXT MATCHES "From the job")
    message(FATAL_ERROR "--text must replace the job's text:\n${TEXT}")
  endif()
endif()
# An encrypting job, its level changed on the command line.
file(WRITE ${WORK}/encrypting_job.json
  [=[{"encrypt": {"level": "aes256", "userPassword": "u", "permissions": ["print"]}}]=])
expect_same_stamp("encryption over a job file"
  JOB --job ${WORK}/encrypting_job.json --encrypt 128 --owner-password o
  LINE --encrypt 128 --user-password u --owner-password o --permissions print)
file(SHA256 ${WORK}/by_job.pdf BEFORE)
file(WRITE ${WORK}/bad_job.json [=[{"text": "x", "fnt": {"size": 20}}]=])
expect_failure("unknown key \"fnt\" in the job file"
  stamp ${DATA}/two_pages.pdf -o ${WORK}/by_job.pdf --job ${WORK}/bad_job.json)
file(WRITE ${WORK}/bad_job.json [=[{"angle": "steep"}]=])
expect_failure("\"angle\" in the job file must be a whole number from -2147483648 to 2147483647"
  stamp ${DATA}/two_pages.pdf -o ${WORK}/by_job.pdf --job ${WORK}/bad_job.json --angle 3)
file(WRITE ${WORK}/bad_job.json "{\"text\": \"Draft \\u0378\"}")
execute_process(COMMAND ${CLI} stamp ${DATA}/two_pages.pdf -o ${WORK}/by_job.pdf
  --job ${WORK}/bad_job.json RESULT_VARIABLE RC OUTPUT_QUIET ERROR_VARIABLE ERR)
if(NOT RC EQUAL 1 OR NOT ERR MATCHES "U\\+0378")
  message(FATAL_ERROR "a job's character no font has must be refused by name, got ${RC}: ${ERR}")
endif()
# Text beyond the code page is stamped with composite fonts and reads back.
file(WRITE ${WORK}/world_job.json "{\"text\": \"Draft \\u4E2D \\u041C\\u0438\\u0440\"}")
execute_process(COMMAND ${CLI} stamp ${DATA}/two_pages.pdf -o ${WORK}/world.pdf --angle 0
  --job ${WORK}/world_job.json RESULT_VARIABLE RC OUTPUT_QUIET ERROR_VARIABLE ERR)
if(NOT RC EQUAL 0)
  message(FATAL_ERROR "a job with Chinese and Russian text failed (${RC}): ${ERR}")
endif()
if(PDFTOTEXT)
  execute_process(COMMAND ${PDFTOTEXT} -f 1 -l 1 ${WORK}/world.pdf - OUTPUT_VARIABLE TEXT1)
  if(NOT TEXT1 MATCHES "Draft 中 Мир")
    message(FATAL_ERROR "the stamped Chinese and Russian text does not read back:\n${TEXT1}")
  endif()
endif()
expect_failure("Cannot read the job file ${WORK}/no-such-job.json"
  stamp ${DATA}/two_pages.pdf -o ${WORK}/by_job.pdf --job ${WORK}/no-such-job.json)
file(SHA256 ${WORK}/by_job.pdf AFTER)
if(NOT BEFORE STREQUAL AFTER)
  message(FATAL_ERROR "a refused job file changed the existing target")
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
expect_failure("The file is encrypted: give its password with --password" info ${ENC})
expect_failure("The password is incorrect" info ${ENC} --password wrong)
# --password goes with every command: rewrite and stamp open the copy with it.
file(REMOVE ${WORK}/again.pdf)
expect_failure("The password is incorrect" rewrite ${ENC} -o ${WORK}/again.pdf --password wrong)
expect_failure("The password is incorrect" stamp ${ENC} -o ${WORK}/again.pdf --password wrong)
# Opened with the user password, the settings are locked.
execute_process(COMMAND ${CLI} rewrite ${ENC} -o ${WORK}/again.pdf --password "hôtel" --encrypt 40
  RESULT_VARIABLE RC OUTPUT_QUIET ERROR_VARIABLE ERR)
if(NOT RC EQUAL 1 OR NOT ERR MATCHES "User cannot change encryption settings")
  message(FATAL_ERROR "locked settings must be refused, got ${RC}: ${ERR}")
endif()
if(EXISTS ${WORK}/again.pdf)
  message(FATAL_ERROR "a refused rewrite left a file")
endif()
expect_usage("--encrypt takes 40, 128, aes128 or aes256"
  rewrite ${DATA}/two_pages.pdf -o ${WORK}/bad.pdf --encrypt 56)
expect_usage("--user-password goes with --encrypt"
  rewrite ${DATA}/two_pages.pdf -o ${WORK}/bad.pdf --user-password x)
expect_usage("--permissions: unknown permission 'fly' (copy, modify, print, annotate, fill, accessibility, assemble, hiresprint)"
  rewrite ${DATA}/two_pages.pdf -o ${WORK}/bad.pdf --encrypt 40 --permissions copy,fly)

# Passwords from files (first line, line end dropped) or standard input, so
# that they need not show in the process list.
set(PWFILE ${WORK}/password.txt)
file(WRITE ${PWFILE} "hôtel\r\nsecond line\n")
execute_process(COMMAND ${CLI} info ${ENC} --password-file ${PWFILE} RESULT_VARIABLE RC
  OUTPUT_VARIABLE OUT2 ERROR_VARIABLE ERR)
if(NOT RC EQUAL 0 OR NOT OUT2 MATCHES "owner: no")
  message(FATAL_ERROR "--password-file failed (${RC}, ${ERR}):\n${OUT2}")
endif()
file(WRITE ${WORK}/owner.txt "boss")
execute_process(COMMAND ${CLI} info ${ENC} --password-file - INPUT_FILE ${WORK}/owner.txt
  RESULT_VARIABLE RC OUTPUT_VARIABLE OUT2 ERROR_VARIABLE ERR)
if(NOT RC EQUAL 0 OR NOT OUT2 MATCHES "owner: yes")
  message(FATAL_ERROR "--password-file - failed (${RC}, ${ERR}):\n${OUT2}")
endif()
set(FROMFILES ${WORK}/from_files.pdf)
file(REMOVE ${FROMFILES})
execute_process(COMMAND ${CLI} rewrite ${DATA}/two_pages.pdf -o ${FROMFILES} --encrypt 128
  --user-password-file ${PWFILE} --owner-password-file - INPUT_FILE ${WORK}/owner.txt
  RESULT_VARIABLE RC ERROR_VARIABLE ERR)
foreach(CASE "hôtel;owner: no" "boss;owner: yes")
  list(GET CASE 0 PW)
  list(GET CASE 1 LINE)
  execute_process(COMMAND ${CLI} info ${FROMFILES} --password "${PW}" RESULT_VARIABLE RC2
    OUTPUT_VARIABLE OUT2 ERROR_VARIABLE ERR2)
  if(NOT RC EQUAL 0 OR NOT RC2 EQUAL 0 OR NOT OUT2 MATCHES "${LINE}")
    message(FATAL_ERROR "passwords from files: '${PW}' must give '${LINE}' (${RC} ${ERR}, ${RC2}):\n${OUT2}")
  endif()
endforeach()
expect_usage("--password and --password-file exclude each other"
  info ${ENC} --password x --password-file ${PWFILE})
expect_usage("only one password file can be standard input"
  rewrite ${DATA}/two_pages.pdf -o ${WORK}/bad.pdf --encrypt 128 --user-password-file -
  --owner-password-file -)
expect_failure("Cannot read the password file ${WORK}/no-such-file"
  info ${ENC} --password-file ${WORK}/no-such-file)

# Restrictions without an owner password: a random owner password nobody
# knows, said in one line; the user password opens the copy as a user only.
set(RESTRICTED ${WORK}/restricted.pdf)
file(REMOVE ${RESTRICTED})
execute_process(COMMAND ${CLI} rewrite ${DATA}/two_pages.pdf -o ${RESTRICTED} --encrypt 128
  --user-password u --permissions none RESULT_VARIABLE RC OUTPUT_VARIABLE OUT2 ERROR_VARIABLE ERR)
if(NOT RC EQUAL 0 OR NOT OUT2 STREQUAL "" OR NOT ERR STREQUAL
   "warning: no owner password given: the restrictions can only be lifted by re-encrypting from the original\n")
  message(FATAL_ERROR "restricted rewrite without owner password (${RC}):\n${ERR}")
endif()
execute_process(COMMAND ${CLI} info ${RESTRICTED} --password u RESULT_VARIABLE RC
  OUTPUT_VARIABLE OUT2 ERROR_VARIABLE ERR)
if(NOT RC EQUAL 0 OR NOT OUT2 MATCHES "owner: no" OR NOT OUT2 MATCHES "permissions: none")
  message(FATAL_ERROR "the user password must open the restricted copy as a user (${RC}):\n${OUT2}")
endif()
execute_process(COMMAND ${CLI} rewrite ${DATA}/two_pages.pdf -o ${WORK}/forty.pdf --encrypt 40
  --user-password u --owner-password o --permissions print,fill RESULT_VARIABLE RC ERROR_VARIABLE ERR)
if(NOT RC EQUAL 0 OR NOT ERR MATCHES "cannot hold these permissions as asked: fill \\(goes with annotate")
  message(FATAL_ERROR "a permission 40 bits cannot hold must be named (${RC}):\n${ERR}")
endif()

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

# Damaged files: repaired as they load, warnings on standard error, exit 0;
# --no-repair fails and says that --repair may recover the file.
execute_process(COMMAND ${CLI} info ${DATA}/damaged_two_pages.pdf --no-repair RESULT_VARIABLE RC
  OUTPUT_QUIET ERROR_VARIABLE ERR)
if(NOT RC EQUAL 1 OR NOT ERR STREQUAL "Invalid PDF Header (junk)\n--repair may recover the file\n")
  message(FATAL_ERROR "a damaged file with --no-repair must exit with 1 and name the option, got ${RC}: ${ERR}")
endif()
foreach(FLAG "" "--repair")
  execute_process(COMMAND ${CLI} info ${DATA}/damaged_two_pages.pdf ${FLAG} RESULT_VARIABLE RC
    OUTPUT_VARIABLE OUT2 ERROR_VARIABLE ERR)
  if(NOT RC EQUAL 0 OR NOT OUT2 MATCHES "pages: 2" OR NOT ERR MATCHES "warning: The header starts at byte 23")
    message(FATAL_ERROR "info ${FLAG} of a damaged file failed (${RC}): ${ERR}\n${OUT2}")
  endif()
endforeach()
expect_usage("--repair and --no-repair exclude each other"
  info ${DATA}/two_pages.pdf --repair --no-repair)
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
# A sound file gives no warning with --repair or without; a missing file is
# no damage.
foreach(FLAG "" "--repair" "--no-repair")
  execute_process(COMMAND ${CLI} info ${DATA}/two_pages.pdf ${FLAG} RESULT_VARIABLE RC OUTPUT_QUIET
    ERROR_VARIABLE ERR)
  if(NOT RC EQUAL 0 OR NOT ERR STREQUAL "")
    message(FATAL_ERROR "a sound file with '${FLAG}' must load quietly (${RC}): ${ERR}")
  endif()
endforeach()
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

# Corpus files that viewers open: the command line opens them too, saying
# what it mended.
find_program(PDFINFO pdfinfo)
if(EXISTS ${CORPUS}/qpdf-page-no-content.pdf)
  set(LETTER ${WORK}/letter.pdf)
  file(REMOVE ${LETTER})
  execute_process(COMMAND ${CLI} stamp ${CORPUS}/qpdf-page-no-content.pdf -o ${LETTER} --text Mark
    RESULT_VARIABLE RC OUTPUT_QUIET ERROR_VARIABLE ERR)
  if(NOT RC EQUAL 0 OR NOT ERR STREQUAL
     "warning: Page 2 has no usable /MediaBox; taken as US Letter (0 0 612 792)\n")
    message(FATAL_ERROR "a page without a box must be stamped as US Letter (${RC}): ${ERR}")
  endif()
  if(PDFINFO)
    execute_process(COMMAND ${PDFINFO} -f 2 -l 2 ${LETTER} OUTPUT_VARIABLE INFO)
    if(NOT INFO MATCHES "Page +2 size: +612 x 792")
      message(FATAL_ERROR "page 2 must be US Letter:\n${INFO}")
    endif()
  endif()
  execute_process(COMMAND ${CLI} stamp ${CORPUS}/qpdf-page-no-content.pdf -o ${LETTER} --no-repair
    RESULT_VARIABLE RC OUTPUT_QUIET ERROR_VARIABLE ERR)
  if(NOT RC EQUAL 1 OR NOT ERR STREQUAL "Page 2 has no usable /CropBox or /MediaBox\n")
    message(FATAL_ERROR "--no-repair must keep the strict refusal (${RC}): ${ERR}")
  endif()
endif()
if(EXISTS ${CORPUS}/qpdf-deep-pages.pdf)
  execute_process(COMMAND ${CLI} info ${CORPUS}/qpdf-deep-pages.pdf RESULT_VARIABLE RC
    OUTPUT_VARIABLE OUT2 ERROR_VARIABLE ERR)
  if(NOT RC EQUAL 0 OR NOT OUT2 MATCHES "pages: 1\n"
     OR NOT ERR MATCHES "warning: Page object 2 is not in the page tree; taken as a page")
    message(FATAL_ERROR "the page the tree does not reach must be found (${RC}): ${ERR}\n${OUT2}")
  endif()
  expect_failure("File is corrupted: the page tree names pages but none can be read\n--repair may recover the file"
    rewrite ${CORPUS}/qpdf-deep-pages.pdf -o ${WORK}/deep.pdf --no-repair)
endif()

# A face that is not installed is replaced, and the user is told.
execute_process(COMMAND ${CLI} stamp ${DATA}/two_pages.pdf -o ${WORK}/other_face.pdf
  --font "NoSuchFaceAnywhere" RESULT_VARIABLE RC OUTPUT_VARIABLE OUT2 ERROR_VARIABLE ERR)
if(NOT RC EQUAL 0 OR NOT ERR MATCHES "^warning: The font \"NoSuchFaceAnywhere\" is not installed; \"[^\"]+\" is used instead\n$")
  message(FATAL_ERROR "a replaced face must be named (${RC}):\n${ERR}")
endif()
execute_process(COMMAND ${CLI} stamp ${DATA}/two_pages.pdf -o ${WORK}/arial.pdf --font Arial
  RESULT_VARIABLE RC OUTPUT_VARIABLE OUT2 ERROR_VARIABLE ERR)
if(NOT RC EQUAL 0 OR NOT ERR STREQUAL "")
  message(FATAL_ERROR "Arial stands in by a metric-compatible face without a warning (${RC}):\n${ERR}")
endif()

# Layer watermarks: listed by info, replaced by --replace, taken off by
# unstamp so that the pages read and render as before; a plain watermark is
# left alone with a note.
execute_process(COMMAND ${CLI} stamp ${DATA}/two_pages.pdf -o ${WORK}/layer1.pdf --layer
  --text "CONFIDENTIAL" --angle 0 --layer-print off RESULT_VARIABLE RC ERROR_VARIABLE ERR)
execute_process(COMMAND ${CLI} info ${WORK}/layer1.pdf OUTPUT_VARIABLE INFO)
if(NOT RC EQUAL 0 OR NOT INFO MATCHES
   "watermarks: 2 page\\(s\\) in layer \"Watermark\" \\(print off, view on\\) \"CONFIDENTIAL\"")
  message(FATAL_ERROR "a layer stamp is not listed (${RC}): ${ERR}\n${INFO}")
endif()
execute_process(COMMAND ${CLI} stamp ${WORK}/layer1.pdf -o ${WORK}/layer2.pdf --layer --replace
  --text "DRAFT" --angle 0 --over RESULT_VARIABLE RC ERROR_VARIABLE ERR)
execute_process(COMMAND ${CLI} unstamp ${WORK}/layer2.pdf -o ${WORK}/unstamped.pdf
  RESULT_VARIABLE RC2 ERROR_VARIABLE ERR2)
if(NOT RC EQUAL 0 OR NOT RC2 EQUAL 0 OR NOT ERR2 STREQUAL "")
  message(FATAL_ERROR "replace or unstamp failed (${RC}, ${RC2}): ${ERR}${ERR2}")
endif()
if(PDFTOTEXT)
  execute_process(COMMAND ${PDFTOTEXT} ${WORK}/layer2.pdf - OUTPUT_VARIABLE REPLACED)
  execute_process(COMMAND ${PDFTOTEXT} ${DATA}/two_pages.pdf - OUTPUT_VARIABLE ORIGINAL)
  execute_process(COMMAND ${PDFTOTEXT} ${WORK}/unstamped.pdf - OUTPUT_VARIABLE RESTORED)
  if(NOT REPLACED MATCHES "DRAFT" OR REPLACED MATCHES "CONFIDENTIAL"
     OR NOT RESTORED STREQUAL ORIGINAL)
    message(FATAL_ERROR "replace or unstamp left the wrong text:\n${REPLACED}\n---\n${RESTORED}")
  endif()
endif()
find_program(PDFTOPPM pdftoppm)
if(PDFTOPPM)
  execute_process(COMMAND ${PDFTOPPM} -r 30 ${DATA}/two_pages.pdf ${WORK}/orig)
  execute_process(COMMAND ${PDFTOPPM} -r 30 ${WORK}/unstamped.pdf ${WORK}/back)
  foreach(P 1 2)
    file(SHA256 ${WORK}/orig-${P}.ppm A)
    file(SHA256 ${WORK}/back-${P}.ppm B)
    if(NOT A STREQUAL B)
      message(FATAL_ERROR "page ${P} renders differently after unstamp")
    endif()
  endforeach()
endif()
execute_process(COMMAND ${CLI} stamp ${DATA}/two_pages.pdf -o ${WORK}/plain.pdf)
execute_process(COMMAND ${CLI} unstamp ${WORK}/plain.pdf -o ${WORK}/plain_un.pdf
  RESULT_VARIABLE RC ERROR_VARIABLE ERR)
if(NOT RC EQUAL 0 OR NOT ERR MATCHES "no watermark stamped with --layer was found"
   OR NOT ERR MATCHES "without --layer on 2 page\\(s\\) are left alone")
  message(FATAL_ERROR "unstamp of a plain watermark must say so (${RC}): ${ERR}")
endif()
expect_usage("--layer-print takes off or on"
  stamp ${DATA}/two_pages.pdf -o ${WORK}/x.pdf --layer-print maybe)
expect_usage("unstamp takes IN and -o OUT" unstamp ${DATA}/two_pages.pdf)

# --compact: pages stamped alike share one watermark stream, and still read.
execute_process(COMMAND ${CLI} stamp ${DATA}/two_pages.pdf -o ${WORK}/each.pdf --seed 3 --angle 0
  --text "SAME")
execute_process(COMMAND ${CLI} stamp ${DATA}/two_pages.pdf -o ${WORK}/compact.pdf --seed 3 --angle 0
  --text "SAME" --compact RESULT_VARIABLE RC)
file(STRINGS ${WORK}/each.pdf EACH_STREAMS REGEX "\\(SAME\\) Tj")
file(STRINGS ${WORK}/compact.pdf COMPACT_STREAMS REGEX "\\(SAME\\) Tj")
list(LENGTH EACH_STREAMS NE)
list(LENGTH COMPACT_STREAMS NC)
if(NOT RC EQUAL 0 OR NOT NE EQUAL 2 OR NOT NC EQUAL 1)
  message(FATAL_ERROR "--compact must share the watermark stream (${RC}: ${NE} vs ${NC})")
endif()
if(PDFTOTEXT)
  execute_process(COMMAND ${PDFTOTEXT} -f 2 -l 2 ${WORK}/compact.pdf - OUTPUT_VARIABLE TEXT2)
  if(NOT TEXT2 MATCHES "SAME")
    message(FATAL_ERROR "the shared watermark is missing on page 2:\n${TEXT2}")
  endif()
endif()

# Each command explains its own options; values also come as --name=value,
# a negative number is a value, and a repeated option's last value counts.
foreach(CASE "stamp;--tile-gap X,Y" "rewrite;--compress flate|runlength" "info;--no-repair")
  list(GET CASE 0 COMMAND)
  list(GET CASE 1 LINE)
  execute_process(COMMAND ${CLI} ${COMMAND} --help RESULT_VARIABLE RC OUTPUT_VARIABLE HELP
    ERROR_VARIABLE ERR)
  string(FIND "${HELP}" "Usage: vellumark-cli ${COMMAND} [OPTIONS]" POS)
  string(FIND "${HELP}" "${LINE}" POS2)
  if(NOT RC EQUAL 0 OR POS LESS 0 OR POS2 LESS 0 OR NOT ERR STREQUAL "")
    message(FATAL_ERROR "${COMMAND} --help must list its options (${RC}):\n${HELP}${ERR}")
  endif()
endforeach()
execute_process(COMMAND ${CLI} stamp ${DATA}/two_pages.pdf -o ${WORK}/forms.pdf --angle -360
  --text=First --text=Second --size=20 RESULT_VARIABLE RC ERROR_VARIABLE ERR)
if(NOT RC EQUAL 0)
  message(FATAL_ERROR "--name=value and a negative angle must be taken (${RC}): ${ERR}")
endif()
if(PDFTOTEXT)
  execute_process(COMMAND ${PDFTOTEXT} ${WORK}/forms.pdf - OUTPUT_VARIABLE TEXT)
  if(NOT TEXT MATCHES "Second" OR TEXT MATCHES "First")
    message(FATAL_ERROR "the last --text must count:\n${TEXT}")
  endif()
endif()
expect_usage("option '--text' needs a value" stamp ${DATA}/two_pages.pdf -o ${WORK}/x.pdf --text)
# The argument after an option is its value, even one that looks like an
# option, as scripts written before relied on.
execute_process(COMMAND ${CLI} stamp ${DATA}/two_pages.pdf -o ${WORK}/dash.pdf --text -draft-
  --angle 0 --bates-prefix --x- RESULT_VARIABLE RC ERROR_VARIABLE ERR)
if(NOT RC EQUAL 0)
  message(FATAL_ERROR "--text -draft- must be taken as the text (${RC}): ${ERR}")
endif()
if(PDFTOTEXT)
  execute_process(COMMAND ${PDFTOTEXT} ${WORK}/dash.pdf - OUTPUT_VARIABLE TEXT)
  if(NOT TEXT MATCHES "-draft-")
    message(FATAL_ERROR "the text -draft- must be stamped:\n${TEXT}")
  endif()
endif()
expect_usage("--size takes a whole number from 1 to 1000"
  stamp ${DATA}/two_pages.pdf -o ${WORK}/x.pdf --size=0)
expect_usage("unknown option '-x'" rewrite ${DATA}/two_pages.pdf -o ${WORK}/x.pdf -x)
# --object-streams: small objects packed behind a cross-reference stream
# when asked, by the job file too, or when the input has them; never with
# disable.
file(WRITE ${WORK}/packed_job.json "{\"objectStreams\": \"generate\"}")
foreach(CASE
    "stamp;${DATA}/two_pages.pdf;packed;1;--angle;0;--text;PACKED;--job;${WORK}/packed_job.json"
    "rewrite;${WORK}/packed.pdf;kept;1"
    "rewrite;${WORK}/packed.pdf;unpacked;0;--object-streams;disable"
    "rewrite;${DATA}/two_pages.pdf;generated;1;--object-streams;generate"
    "unstamp;${WORK}/packed.pdf;unstamped_kept;1"
    "unstamp;${WORK}/packed.pdf;unstamped_unpacked;0;--object-streams;disable")
  list(POP_FRONT CASE COMMAND IN NAME PACKED)
  execute_process(COMMAND ${CLI} ${COMMAND} ${IN} -o ${WORK}/${NAME}.pdf ${CASE} RESULT_VARIABLE RC)
  file(STRINGS ${WORK}/${NAME}.pdf FOUND REGEX "/Type /ObjStm")
  if(NOT RC EQUAL 0 OR (PACKED AND NOT FOUND) OR (NOT PACKED AND FOUND))
    message(FATAL_ERROR "${NAME}.pdf must be packed: ${PACKED} (${RC})")
  endif()
endforeach()
if(PDFTOTEXT)
  execute_process(COMMAND ${PDFTOTEXT} -f 2 -l 2 ${WORK}/kept.pdf - OUTPUT_VARIABLE TEXT2)
  if(NOT TEXT2 MATCHES "PACKED")
    message(FATAL_ERROR "the packed file lost its watermark on page 2:\n${TEXT2}")
  endif()
endif()
expect_usage("--object-streams takes preserve, generate or disable"
  stamp ${DATA}/two_pages.pdf -o ${WORK}/x.pdf --object-streams always)
expect_usage("--object-streams takes preserve, generate or disable"
  rewrite ${DATA}/two_pages.pdf -o ${WORK}/x.pdf --object-streams Generate)
