# Runs vellumark-cli stamp on several files at once: where results go, the
# job variables, Bates numbers over the batch, and failures that stop
# nothing.
find_program(QPDF qpdf REQUIRED)
find_program(PDFTOTEXT pdftotext REQUIRED)
include(${CMAKE_CURRENT_LIST_DIR}/cli_helpers.cmake)

set(B ${WORK}/batch)
file(REMOVE_RECURSE ${B})
file(MAKE_DIRECTORY ${B}/in)
set(TWO ${DATA}/two_pages.pdf)
# Inputs of 2, 3 and 1 pages.
execute_process(COMMAND ${QPDF} --empty --pages ${TWO} 1-2 -- ${B}/in/b1.pdf)
execute_process(COMMAND ${QPDF} --empty --pages ${TWO} 1-2 ${TWO} 1 -- ${B}/in/b2.pdf)
execute_process(COMMAND ${QPDF} --empty --pages ${TWO} 1 -- ${B}/in/b3.pdf)
execute_process(COMMAND ${QPDF} --encrypt u o 256 -- ${B}/in/b3.pdf ${B}/in/locked.pdf)
set(INPUTS ${B}/in/b1.pdf ${B}/in/b2.pdf ${B}/in/b3.pdf)
foreach(F ${INPUTS} ${B}/in/locked.pdf)
  if(NOT EXISTS ${F})
    message(FATAL_ERROR "qpdf did not make ${F}")
  endif()
endforeach()
file(SHA256 ${B}/in/b1.pdf B1_BEFORE)

# Three inputs into a folder made for them, under their own names, with the
# job's variables; names nobody defines stay as typed.
string(TIMESTAMP YEAR "%Y")
string(TIMESTAMP YEAR2 "%y")
run(stamp ${INPUTS} -o ${B}/out --jobs 2 --angle 0 --size 10
  --text "Copy <%FileName%> <%Date:%Y%> <%who%> <%Nobody%> <%date:%y%>" --var Who=Tester --var who=Clerk)
if(NOT RC EQUAL 0 OR NOT ERR STREQUAL "3 stamped, 0 failed\n" OR NOT OUT STREQUAL "")
  message(FATAL_ERROR "a batch into a folder failed (${RC}): ${ERR}${OUT}")
endif()
foreach(N 1 2 3)
  text_of(${B}/out/b${N}.pdf)
  if(NOT TEXT MATCHES "Copy b${N}\\.pdf ${YEAR} Clerk <%Nobody%> ${YEAR2}")
    message(FATAL_ERROR "b${N}.pdf lacks its variables:\n${TEXT}")
  endif()
endforeach()
run(stamp ${B}/in/b3.pdf -o ${B}/single.pdf --angle 0 --text "<%FILENAME%> <%Date%>T<%Time%>")
text_of(${B}/single.pdf)
if(NOT RC EQUAL 0 OR NOT ERR STREQUAL ""
   OR NOT TEXT MATCHES "b3\\.pdf ${YEAR}-[0-9][0-9]-[0-9][0-9]T[0-9][0-9]:[0-9][0-9]:[0-9][0-9]")
  message(FATAL_ERROR "a single stamp must take the variables and stay silent (${RC}): ${ERR}\n${TEXT}")
endif()

# Bates numbers run over the pages of all files in input order, however the
# workers take them.
foreach(ROUND 1 2 3)
  file(REMOVE_RECURSE ${B}/bates)
  run(stamp ${INPUTS} -o ${B}/bates --jobs 3 --angle 0 --text "No <%Bates%>")
  set(ALL "")
  foreach(N 1 2 3)
    text_of(${B}/bates/b${N}.pdf)
    string(APPEND ALL "${TEXT}")
  endforeach()
  string(REGEX MATCHALL "No [0-9]+" NUMBERS "${ALL}")
  if(NOT RC EQUAL 0 OR NOT NUMBERS STREQUAL "No 000001;No 000002;No 000003;No 000004;No 000005;No 000006")
    message(FATAL_ERROR "Bates numbers out of order (${RC}): ${NUMBERS}\n${ERR}")
  endif()
endforeach()
run(stamp ${B}/in/b2.pdf ${B}/in/b3.pdf -o ${B}/bates2 --angle 0 --text "<%Bates%>"
  --bates-start 98 --bates-digits 3 --bates-prefix ACME-)
text_of(${B}/bates2/b3.pdf)
if(NOT RC EQUAL 0 OR NOT TEXT MATCHES "ACME-101")
  message(FATAL_ERROR "--bates-start, -digits and -prefix not taken (${RC}): ${ERR}\n${TEXT}")
endif()

# Failures stop nothing: a damaged file, one locked without its password and
# one whose target cannot be written are named; the others are written.
file(MAKE_DIRECTORY ${B}/failing/b3.pdf)
run(stamp ${B}/in/b1.pdf ${DATA}/not_a_pdf.pdf ${B}/in/locked.pdf ${B}/in/b2.pdf ${B}/in/b3.pdf
  -o ${B}/failing --json --jobs 2 --no-repair)
foreach(LINE "not_a_pdf.pdf: Invalid PDF Header (This); --repair may recover the file\n"
             "locked.pdf: The file is encrypted: give its password with --password\n"
             "b3.pdf: " "2 stamped, 3 failed\n")
  string(FIND "${ERR}" "${LINE}" POS)
  if(POS LESS 0)
    message(FATAL_ERROR "missing '${LINE}' in the batch's messages (${RC}):\n${ERR}")
  endif()
endforeach()
if(NOT RC EQUAL 1 OR NOT EXISTS ${B}/failing/b1.pdf OR NOT EXISTS ${B}/failing/b2.pdf
   OR NOT ERR MATCHES "2 stamped, 3 failed\n$")
  message(FATAL_ERROR "the good files must be written and the run fail (${RC}):\n${ERR}")
endif()
# One JSON object per file and line.
# (a CMake list cannot hold the messages' semicolons)
string(REGEX REPLACE "\n$" "" OUT "${OUT}")
string(REPLACE ";" "," OUT "${OUT}")
string(REPLACE "\n" ";" LINES "${OUT}")
list(LENGTH LINES COUNT)
if(NOT COUNT EQUAL 5)
  message(FATAL_ERROR "--json must print five lines:\n${OUT}")
endif()
set(SEEN "")
foreach(LINE ${LINES})
  string(JSON INPUT GET "${LINE}" input)
  string(JSON STATUS GET "${LINE}" status)
  string(JSON PAGES GET "${LINE}" pages)
  string(JSON MESSAGE GET "${LINE}" message)
  string(JSON SECONDS GET "${LINE}" seconds)
  string(JSON OUTPUT GET "${LINE}" output)
  get_filename_component(NAME ${INPUT} NAME)
  list(APPEND SEEN "${NAME}=${STATUS}/${PAGES}")
  if(STATUS STREQUAL "ok" AND (NOT MESSAGE STREQUAL "" OR NOT EXISTS ${OUTPUT}))
    message(FATAL_ERROR "a line of a stamped file is wrong: ${LINE}")
  endif()
  if(STATUS STREQUAL "failed" AND MESSAGE STREQUAL "" OR SECONDS LESS 0)
    message(FATAL_ERROR "a line of a failed file is wrong: ${LINE}")
  endif()
endforeach()
list(SORT SEEN)
if(NOT SEEN STREQUAL "b1.pdf=ok/2;b2.pdf=ok/3;b3.pdf=failed/1;locked.pdf=failed/0;not_a_pdf.pdf=failed/0")
  message(FATAL_ERROR "--json lines: ${SEEN}")
endif()

# --suffix writes beside each input; no input is ever written over without
# --in-place, which replaces them.
run(stamp ${B}/in/b1.pdf ${B}/in/b2.pdf --suffix _marked --quiet)
if(NOT RC EQUAL 0 OR NOT EXISTS ${B}/in/b1_marked.pdf OR NOT EXISTS ${B}/in/b2_marked.pdf)
  message(FATAL_ERROR "--suffix must write beside the inputs (${RC}): ${ERR}")
endif()
run(stamp ${B}/in/b1.pdf ${B}/in/b3.pdf -o ${B}/in)
file(SHA256 ${B}/in/b1.pdf B1_AFTER)
if(NOT RC EQUAL 1 OR NOT B1_BEFORE STREQUAL B1_AFTER OR NOT ERR MATCHES "b1.pdf: would be written over an input")
  message(FATAL_ERROR "an input must not be written over (${RC}): ${ERR}")
endif()
# (an empty argument is lost in a macro's ARGN)
execute_process(COMMAND ${CLI} stamp ${B}/in/b1_marked.pdf ${B}/in/b2_marked.pdf --suffix ""
  --text Twice RESULT_VARIABLE RC ERROR_VARIABLE ERR)
if(NOT RC EQUAL 1 OR NOT ERR MATCHES "0 stamped, 2 failed\n$")
  message(FATAL_ERROR "an empty --suffix must not write over its input (${RC}): ${ERR}")
endif()
file(COPY ${B}/in/b3.pdf DESTINATION ${B}/inplace)
run(stamp ${B}/inplace/b3.pdf --in-place --angle 0 --text "Replaced")
text_of(${B}/inplace/b3.pdf)
if(NOT RC EQUAL 0 OR NOT TEXT MATCHES "Replaced")
  message(FATAL_ERROR "--in-place must replace the input (${RC}): ${ERR}")
endif()

# Folders give their PDF files in path order with --recursive only.
file(MAKE_DIRECTORY ${B}/tree/a)
file(COPY ${B}/in/b1.pdf DESTINATION ${B}/tree/a)
file(COPY ${B}/in/b2.pdf DESTINATION ${B}/tree)
file(WRITE ${B}/tree/notes.txt "not a PDF")
run(stamp ${B}/tree --recursive -o ${B}/tree_out --json --jobs 1)
string(REGEX MATCHALL "\"input\":\"[^\"]*\"" ORDER "${OUT}")
if(NOT RC EQUAL 0 OR NOT ORDER STREQUAL "\"input\":\"${B}/tree/a/b1.pdf\";\"input\":\"${B}/tree/b2.pdf\"")
  message(FATAL_ERROR "--recursive must take the PDF files in path order (${RC}): ${ORDER}\n${ERR}")
endif()
# Results keep their subfolders, so files of one name in two folders do
# not collide.
file(COPY ${B}/in/b2.pdf DESTINATION ${B}/tree/a)
run(stamp ${B}/tree --recursive -o ${B}/tree_out3 --quiet)
if(NOT RC EQUAL 0 OR NOT EXISTS ${B}/tree_out3/a/b1.pdf OR NOT EXISTS ${B}/tree_out3/a/b2.pdf
   OR NOT EXISTS ${B}/tree_out3/b2.pdf)
  message(FATAL_ERROR "--recursive must keep the subfolders under DIR (${RC}): ${ERR}")
endif()
run(stamp ${B}/tree ${B}/in/b3.pdf -o ${B}/tree_out2)
if(NOT RC EQUAL 1 OR NOT ERR MATCHES "tree: is a folder: give --recursive")
  message(FATAL_ERROR "a folder needs --recursive (${RC}): ${ERR}")
endif()

# With --seed N the Ith file comes out as a single stamp with N+I.
run(stamp ${B}/in/b1.pdf ${B}/in/b2.pdf -o ${B}/seeded --seed 40 --jobs 2)
execute_process(COMMAND ${CLI} stamp ${B}/in/b2.pdf -o ${B}/seeded_b2.pdf --seed 41)
file(SHA256 ${B}/seeded/b2.pdf IN_BATCH)
file(SHA256 ${B}/seeded_b2.pdf ALONE)
if(NOT RC EQUAL 0 OR NOT IN_BATCH STREQUAL ALONE)
  message(FATAL_ERROR "a seeded batch must write what single seeded stamps write (${RC}): ${ERR}")
endif()

# Wrong command lines.
expect_usage("stamp with several inputs takes -o DIR, --suffix TEXT or --in-place"
  stamp ${INPUTS})
expect_usage("--in-place goes without -o and --suffix" stamp ${INPUTS} --in-place -o ${B}/x)
expect_usage("--var takes NAME=VALUE" stamp ${INPUTS} -o ${B}/x --var =v)
expect_usage("--jobs takes a whole number from 1 to 256" stamp ${INPUTS} -o ${B}/x --jobs 0)
expect_usage("-o ${B}/in/b1.pdf is a file: several inputs take a folder"
  stamp ${INPUTS} -o ${B}/in/b1.pdf)
expect_usage("--repair and --no-repair exclude each other"
  stamp ${INPUTS} -o ${B}/x --repair --no-repair)
