# Runs make_font on a copy of the real font source with one fault planted in
# it (CASE) and checks that the generator refuses it: exit status 1, a message
# naming the file and the faulty line, and no image left behind. CASE
# "unmodified" instead checks that the untouched copy still gives the image
# in REFERENCE, which proves the copying below changes nothing by itself.
#
#   cmake -DMAKE_FONT=<make_font> -DSOURCE=<font source> -DREFERENCE=<image>
#         -DWORK_DIR=<scratch dir> -DCASE=<case> -P bad_source.cmake

include("${CMAKE_CURRENT_LIST_DIR}/planted_fault.cmake")

# Appends a well-formed block at OFFSET; sets appended_line to its header's line number.
macro(append_block offset)
  list(LENGTH lines appended_line)
  math(EXPR appended_line "${appended_line} + 2")
  list(APPEND lines "" "${offset} U+2502 added by the test"
       ".#...." ".#...." ".#...." ".#...." ".#...." ".#...." ".#....")
endmacro()

index_of("0x906 " header)             # capital A: the block most cases damage
math(EXPR header_line "${header} + 1")
math(EXPR first_row "${header} + 1")
math(EXPR first_row_line "${header} + 2")
list(GET lines ${first_row} row)

set(expect_line "")     # line the message must point at, if any
set(expect_text "")     # words the message must contain

if(CASE STREQUAL "unmodified")
elseif(CASE STREQUAL "wide_row")
  replace_line(${first_row} "${row}#")
  set(expect_line ${first_row_line})
  set(expect_text "has 7 dots, expected 6")
elseif(CASE STREQUAL "narrow_row")
  string(SUBSTRING "${row}" 0 5 short_row)
  replace_line(${first_row} "${short_row}")
  set(expect_line ${first_row_line})
  set(expect_text "has 5 dots, expected 6")
elseif(CASE STREQUAL "bad_dot")
  string(SUBSTRING "${row}" 1 -1 rest)
  replace_line(${first_row} "o${rest}")
  set(expect_line ${first_row_line})
  set(expect_text "may only hold")
elseif(CASE STREQUAL "missing_row")
  math(EXPR last_row "${header} + 7")
  list(REMOVE_AT lines ${last_row})
  math(EXPR expect_line "${last_row} + 1")
  set(expect_text "0x906 has 6 of its 7 rows")
elseif(CASE STREQUAL "extra_row")
  math(EXPR after_block "${header} + 8")
  list(INSERT lines ${after_block} "#.....")
  math(EXPR expect_line "${after_block} + 1")
  set(expect_text "more than 7 rows")
elseif(CASE STREQUAL "stray_text")
  list(INSERT lines ${header} "capital A follows")
  set(expect_line ${header_line})
  set(expect_text "expected a glyph header")
elseif(CASE STREQUAL "header_without_label")
  replace_line(${header} "0x906")
  set(expect_line ${header_line})
  set(expect_text "expected a glyph header")
elseif(CASE STREQUAL "misaligned_offset")
  replace_line(${header} "0x907 U+0041 A capital A, one byte late")
  set(expect_line ${header_line})
  set(expect_text "not on a slot boundary")
elseif(CASE STREQUAL "unused_slot")
  append_block(0xBC0)                  # region 0xB00 slot 32 is never read
  set(expect_line ${appended_line})
  set(expect_text "not one of the slots")
elseif(CASE STREQUAL "offset_outside_image")
  append_block(0x1000)
  set(expect_line ${appended_line})
  set(expect_text "outside the 4096-byte image")
elseif(CASE STREQUAL "duplicate_offset")
  append_block(0x906)
  set(expect_line ${appended_line})
  set(expect_text "already defined at line ${header_line}")
elseif(CASE STREQUAL "missing_slot")
  foreach(i RANGE 7)
    list(REMOVE_AT lines ${header})
  endforeach()
  set(expect_text "missing glyph for slot 0x906")
elseif(CASE STREQUAL "empty_glyph")
  foreach(i RANGE 1 7)
    math(EXPR at "${header} + ${i}")
    replace_line(${at} "......")
  endforeach()
  set(expect_line ${header_line})
  set(expect_text "0x906 has no dots")
elseif(CASE STREQUAL "missing_text")
  replace_line(${header} "0x906 A capital A")
  set(expect_line ${header_line})
  set(expect_text "expected the glyph's text character")
elseif(CASE STREQUAL "bad_text")
  replace_line(${header} "0x906 U+004I A capital A")   # I typed for 1
  set(expect_line ${header_line})
  set(expect_text "'U+004I' is not a text character")
elseif(CASE STREQUAL "dotted_space")
  index_of("0x800 " space)
  math(EXPR space_row "${space} + 1")
  replace_line(${space_row} "..#...")
  math(EXPR expect_line "${space} + 1")
  set(expect_text "must stay blank")
else()
  message(FATAL_ERROR "unknown CASE '${CASE}'")
endif()

check_planted_fault("${MAKE_FONT}" make_font)
