# Runs make_escp_font on a copy of escp.font with one fault planted in it
# (CASE) and checks that the generator refuses it: exit status 1, a message
# naming the file and the faulty line, and no output left behind. CASE
# "unmodified" instead checks that the untouched copy still gives the file in
# REFERENCE, which proves the copying below changes nothing by itself.
#
#   cmake -DMAKE_ESCP_FONT=<make_escp_font> -DSOURCE=<escp.font>
#         -DREFERENCE=<escp.fake> -DWORK_DIR=<scratch dir> -DCASE=<case>
#         -P escp_bad_source.cmake

include("${CMAKE_CURRENT_LIST_DIR}/planted_fault.cmake")

index_of("roman U+0041 " header)      # roman capital A: the block most cases damage
math(EXPR header_line "${header} + 1")
math(EXPR first_row "${header} + 1")
math(EXPR first_row_line "${header} + 2")
list(GET lines ${first_row} row)      # .....#.....

set(expect_line "")     # line the message must point at, if any
set(expect_text "")     # words the message must contain

if(CASE STREQUAL "unmodified")
elseif(CASE STREQUAL "wide_row")
  replace_line(${first_row} "${row}..")
  set(expect_line ${first_row_line})
  set(expect_text "has 13 columns, expected 11")
elseif(CASE STREQUAL "narrow_row")
  string(SUBSTRING "${row}" 0 10 short_row)
  replace_line(${first_row} "${short_row}")
  set(expect_line ${first_row_line})
  set(expect_text "has 10 columns, expected 11")
elseif(CASE STREQUAL "bad_dot")
  replace_line(${first_row} ".....o.....")
  set(expect_line ${first_row_line})
  set(expect_text "may only hold")
elseif(CASE STREQUAL "neighbouring_dots")
  replace_line(${first_row} ".....##....")
  set(expect_line ${first_row_line})
  set(expect_text "neighbouring columns 5 and 6")
elseif(CASE STREQUAL "dot_in_gap_column")
  replace_line(${first_row} "${row}#")
  set(expect_line ${first_row_line})
  set(expect_text "dot in column 11")
elseif(CASE STREQUAL "missing_row")
  math(EXPR last_row "${header} + 9")
  list(REMOVE_AT lines ${last_row})
  math(EXPR expect_line "${last_row} + 1")
  set(expect_text "roman U+0041 has 8 of its 9 rows")
elseif(CASE STREQUAL "extra_row")
  math(EXPR after_block "${header} + 10")
  list(INSERT lines ${after_block} "#..........")
  math(EXPR expect_line "${after_block} + 1")
  set(expect_text "more than 9 rows")
elseif(CASE STREQUAL "stray_text")
  list(INSERT lines ${header} "capital A follows")
  set(expect_line ${header_line})
  set(expect_text "expected a glyph header")
elseif(CASE STREQUAL "unknown_face")
  replace_line(${header} "bold U+0041 A latin capital letter a")
  set(expect_line ${header_line})
  set(expect_text "expected a glyph header")
elseif(CASE STREQUAL "bad_code_point")
  replace_line(${header} "roman U+004I A latin capital letter a")   # I typed for 1
  set(expect_line ${header_line})
  set(expect_text "'U+004I' is not a character")
elseif(CASE STREQUAL "header_without_label")
  replace_line(${header} "roman U+0041")
  set(expect_line ${header_line})
  set(expect_text "expected a label")
elseif(CASE STREQUAL "duplicate_glyph")
  list(APPEND lines "" "roman U+0041 A added by the test"
       ".....#....." "....#.#...." "...#...#..." "..#.....#.." ".#.#.#.#.#."
       ".#.......#." ".#.......#." "..........." "...........")
  list(LENGTH lines count)
  math(EXPR expect_line "${count} - 9")
  set(expect_text "roman U+0041 is already defined at line ${header_line}")
elseif(CASE STREQUAL "missing_glyph")
  foreach(i RANGE 9)
    list(REMOVE_AT lines ${header})
  endforeach()
  set(expect_text "missing glyph: roman U+0041")
elseif(CASE STREQUAL "missing_italic_glyph")
  index_of("italic U+00E9 " italic_header)   # italic small e with acute
  foreach(i RANGE 9)
    list(REMOVE_AT lines ${italic_header})
  endforeach()
  set(expect_text "missing glyph: italic U+00E9")
elseif(CASE STREQUAL "empty_glyph")
  foreach(i RANGE 1 9)
    math(EXPR at "${header} + ${i}")
    replace_line(${at} "...........")
  endforeach()
  set(expect_line ${header_line})
  set(expect_text "roman U+0041 has no dots")
elseif(CASE STREQUAL "dotted_space")
  index_of("italic U+00A0 " space)
  math(EXPR space_row "${space} + 1")
  replace_line(${space_row} ".....#.....")
  math(EXPR expect_line "${space} + 1")
  set(expect_text "is a space and must stay blank")
else()
  message(FATAL_ERROR "unknown CASE '${CASE}'")
endif()

check_planted_fault("${MAKE_ESCP_FONT}" make_escp_font)
