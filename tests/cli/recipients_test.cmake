# Runs vellumark-cli stamp --recipients: one copy of an input per row of a
# CSV file, each with its own text, identifier and keys.
find_program(QPDF qpdf REQUIRED)
find_program(PDFTOTEXT pdftotext REQUIRED)
include(${CMAKE_CURRENT_LIST_DIR}/cli_helpers.cmake)

set(R ${WORK}/recipients)
file(REMOVE_RECURSE ${R})
file(MAKE_DIRECTORY ${R})
set(IN ${DATA}/two_pages.pdf)
file(WRITE ${R}/people.csv "name,email\r\nAlice,alice@example.com\r\n\"Bob, Jr.\",bob@example.com\r\n")

# The trailer's /ID of FILE, in ID of the caller.
function(id_of FILE)
  execute_process(COMMAND ${QPDF} --show-object=trailer ${ARGN} ${FILE} OUTPUT_VARIABLE T)
  string(REGEX MATCH "/ID \\[[^]]*\\]" I "${T}")
  if(I STREQUAL "")
    message(FATAL_ERROR "no /ID in ${FILE}: ${T}")
  endif()
  set(ID "${I}" PARENT_SCOPE)
endfunction()

# Each copy has its own recipient's text and no other's, and its own /ID.
run(stamp ${IN} --recipients ${R}/people.csv --output-name "report-<%name%>.pdf" -o ${R}/out
  --text "For <%name%> <%EMAIL%>" --angle 0 --size 12)
if(NOT RC EQUAL 0 OR NOT ERR STREQUAL "2 stamped, 0 failed\n" OR NOT OUT STREQUAL "")
  message(FATAL_ERROR "stamping two recipients failed (${RC}): ${ERR}${OUT}")
endif()
text_of(${R}/out/report-Alice.pdf)
set(ALICE "${TEXT}")
text_of("${R}/out/report-Bob, Jr..pdf")
set(BOB "${TEXT}")
if(NOT ALICE MATCHES "For Alice alice@example.com" OR ALICE MATCHES "Bob"
   OR NOT BOB MATCHES "For Bob, Jr. bob@example.com" OR BOB MATCHES "Alice")
  message(FATAL_ERROR "a copy shows another recipient's text:\n${ALICE}\n---\n${BOB}")
endif()
# Both pages of each copy keep their own text beside the mark.
text_of(${IN})
string(REGEX MATCHALL "[A-Za-z]+" WORDS "${TEXT}")
foreach(WORD ${WORDS})
  if(NOT ALICE MATCHES "${WORD}" OR NOT BOB MATCHES "${WORD}")
    message(FATAL_ERROR "'${WORD}' of the input is missing from a copy")
  endif()
endforeach()
id_of(${R}/out/report-Alice.pdf)
set(ID1 "${ID}")
id_of("${R}/out/report-Bob, Jr..pdf")
if(ID1 STREQUAL ID)
  message(FATAL_ERROR "two copies share the identifier ${ID}")
endif()

# With --seed N the Ith copy is what a single stamp with N+I and the row's
# variables writes: nothing of the copies before it is left.
run(stamp ${IN} --recipients ${R}/people.csv --output-name "<%name%>" -o ${R}/seeded --seed 5
  --layer --text "For <%name%>" --json --jobs 2)
execute_process(COMMAND ${CLI} stamp ${IN} -o ${R}/bob-alone.pdf --seed 6 --layer
  --text "For <%name%>" --var "name=Bob, Jr." --var email=bob@example.com RESULT_VARIABLE RC2)
file(SHA256 "${R}/seeded/Bob, Jr..pdf" COPY)
file(SHA256 ${R}/bob-alone.pdf ALONE)
if(NOT RC EQUAL 0 OR NOT RC2 EQUAL 0 OR NOT COPY STREQUAL ALONE)
  message(FATAL_ERROR "the second seeded copy differs from a single stamp (${RC}, ${RC2}): ${ERR}")
endif()
string(REGEX MATCHALL "\"output\":\"[^\"]*\"" OUTPUTS "${OUT}")
# Lines come as copies are done, on every core.
list(SORT OUTPUTS)
if(NOT OUTPUTS STREQUAL "\"output\":\"${R}/seeded/Alice.pdf\";\"output\":\"${R}/seeded/Bob, Jr..pdf\"")
  message(FATAL_ERROR "--json must name each copy: ${OUT}")
endif()

# Encrypted copies: each opens with the password and has keys of its own.
run(stamp ${IN} --recipients ${R}/people.csv --output-name "<%name%>" -o ${R}/locked
  --encrypt aes256 --user-password u --owner-password o --text "For <%name%>" --angle 0)
set(KEYS "")
foreach(NAME Alice "Bob, Jr.")
  text_of("${R}/locked/${NAME}.pdf" -upw u)
  if(NOT TEXT MATCHES "For ${NAME}")
    message(FATAL_ERROR "the encrypted copy for ${NAME} reads wrong (${RC}): ${ERR}\n${TEXT}")
  endif()
  execute_process(COMMAND ${QPDF} --password=u --show-encryption-key --show-encryption
    "${R}/locked/${NAME}.pdf" OUTPUT_VARIABLE SHOWN)
  string(REGEX MATCH "Encryption key = [0-9a-f]+" KEY "${SHOWN}")
  list(FIND KEYS "${KEY}" SEEN)
  if(KEY STREQUAL "" OR SEEN GREATER -1)
    message(FATAL_ERROR "the copy for ${NAME} has no key of its own: ${SHOWN}")
  endif()
  list(APPEND KEYS "${KEY}")
endforeach()

# Rows that give an output name already taken are refused, the others are
# written; '/' in a name becomes '_'.
file(WRITE ${R}/clash.csv "name\nAlice\nA/B\nAlice\n")
run(stamp ${IN} --recipients ${R}/clash.csv --output-name "<%name%>.pdf" -o ${R}/clash)
if(NOT RC EQUAL 1 OR NOT EXISTS ${R}/clash/Alice.pdf OR NOT EXISTS ${R}/clash/A_B.pdf
   OR NOT ERR MATCHES "clash.csv line 4: another recipient is written to ${R}/clash/Alice.pdf\n"
   OR NOT ERR MATCHES "2 stamped, 1 failed\n$")
  message(FATAL_ERROR "a clashing row must be refused alone (${RC}): ${ERR}")
endif()

# A malformed file stops the run before anything is written.
file(WRITE ${R}/bad.csv "name,email\nAlice,a@x\n\"Bob,b@x\n")
run(stamp ${IN} --recipients ${R}/bad.csv --output-name "<%name%>" -o ${R}/bad)
if(NOT RC EQUAL 1 OR NOT ERR STREQUAL "${R}/bad.csv line 3: a quoted field is not closed\n"
   OR EXISTS ${R}/bad/Alice.pdf)
  message(FATAL_ERROR "a malformed recipients file must be refused by line (${RC}): ${ERR}")
endif()

expect_usage("--output-name goes with --recipients" stamp ${IN} -o ${R}/x --output-name a)
expect_usage("--recipients goes with --output-name PATTERN"
  stamp ${IN} -o ${R}/x --recipients ${R}/people.csv)
expect_usage("stamp --recipients takes one IN and -o DIR"
  stamp ${IN} ${IN} -o ${R}/x --recipients ${R}/people.csv --output-name a)
expect_usage("--recipients goes without --suffix, --in-place and --recursive"
  stamp ${IN} -o ${R}/x --recipients ${R}/people.csv --output-name a --suffix s)
