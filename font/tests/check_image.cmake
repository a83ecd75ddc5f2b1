# Checks drawing rules on a generated character ROM image.
#
#   cmake -DIMAGE=<mps801.fake> -DRULE=<rule> -P check_image.cmake
#
# box_pieces_meet  every box-drawing piece leaves its cell on the centre row
#                  (row 3) and centre column (column 3) only, so boxes close;
#                  the straight pieces consist of nothing but those lines.
# text_gap_column  letters, digits and punctuation keep column 5 blank so that
#                  neighbours never touch.

cmake_minimum_required(VERSION 3.18)

set(image_size 4096)
set(centre_column 3)
set(centre_row_bit 0x08)   # row 3
set(bottom_row 6)
set(upper_half_bits 0x07)  # rows 0-2, above the centre row
set(lower_half_bits 0x70)  # rows 4-6, below the centre row

file(READ "${IMAGE}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR bytes "${digits} / 2")
if(NOT bytes EQUAL image_size)
  message(FATAL_ERROR "${IMAGE} is ${bytes} bytes, expected ${image_size}")
endif()

function(byte_at offset out)
  math(EXPR at "(${offset}) * 2")
  string(SUBSTRING "${hex}" ${at} 2 byte)
  math(EXPR value "0x${byte}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()

set(failures "")

if(RULE STREQUAL "box_pieces_meet")
  # offset, the sides the piece leaves by (Left Right Up Down), straight or arc
  set(pieces
    0xB00:LR:straight     # horizontal line
    0xBAE:UD:straight     # vertical line
    0xBA2:LRUD:straight   # cross
    0xA42:URD:straight    # vertical and right
    0xA72:ULD:straight    # vertical and left
    0xA6C:LRD:straight    # down and horizontal
    0xA66:LRU:straight    # up and horizontal
    0xA60:RD:straight     # down and right
    0xA54:LD:straight     # down and left
    0xA4E:UR:straight     # up and right
    0xAAE:UL:straight     # up and left
    0xB7E:RD:arc          # arc down and right
    0xB36:LD:arc          # arc down and left
    0xB3C:UR:arc          # arc up and right
    0xB42:UL:arc          # arc up and left
  )
  foreach(piece IN LISTS pieces)
    string(REPLACE ":" ";" fields "${piece}")
    list(GET fields 0 offset)
    list(GET fields 1 sides)
    list(GET fields 2 kind)
    foreach(side L R U D)
      string(FIND "${sides}" "${side}" at)
      if(at EQUAL -1)
        set(has_${side} 0)
      else()
        set(has_${side} 1)
      endif()
    endforeach()
    foreach(column RANGE 5)
      byte_at("${offset} + ${column}" dots)
      set(on_centre 0)
      if(column EQUAL centre_column)
        set(on_centre 1)
      endif()
      # Where the piece crosses the cell edges.
      math(EXPR top "${dots} & 1")
      math(EXPR bottom "(${dots} >> ${bottom_row}) & 1")
      math(EXPR want_top "${has_U} & ${on_centre}")
      math(EXPR want_bottom "${has_D} & ${on_centre}")
      if(NOT top EQUAL want_top OR NOT bottom EQUAL want_bottom)
        list(APPEND failures "${offset} column ${column}: top/bottom edge dots wrong")
      endif()
      if(column EQUAL 0 OR column EQUAL 5)
        if(column EQUAL 0)
          set(want_side ${has_L})
        else()
          set(want_side ${has_R})
        endif()
        math(EXPR want "${want_side} * ${centre_row_bit}")
        if(NOT dots EQUAL want)
          list(APPEND failures "${offset} column ${column}: side edge dots wrong")
        endif()
      endif()
      # Straight pieces are exactly the centre lines, nothing else.
      if(kind STREQUAL "straight")
        if(on_centre)
          math(EXPR want "${centre_row_bit} | (${has_U} * ${upper_half_bits}) | (${has_D} * ${lower_half_bits})")
        elseif(column LESS centre_column)
          math(EXPR want "${has_L} * ${centre_row_bit}")
        else()
          math(EXPR want "${has_R} * ${centre_row_bit}")
        endif()
        if(NOT dots EQUAL want)
          list(APPEND failures "${offset} column ${column}: not on the centre lines")
        endif()
      endif()
    endforeach()
  endforeach()
elseif(RULE STREQUAL "text_gap_column")
  # first and last slot offset of each run of text glyphs
  set(runs
    0x800:0x8BA   # punctuation and digits
    0x900:0x9BA   # @, capitals, [ pound ] and the arrows
    0xD06:0xD9C   # lower-case letters
  )
  foreach(run IN LISTS runs)
    string(REPLACE ":" ";" fields "${run}")
    list(GET fields 0 first)
    list(GET fields 1 last)
    math(EXPR first "${first}")
    math(EXPR last "${last}")
    foreach(offset RANGE ${first} ${last} 6)
      byte_at("${offset} + 5" dots)
      if(NOT dots EQUAL 0)
        math(EXPR shown "${offset}" OUTPUT_FORMAT HEXADECIMAL)
        list(APPEND failures "${shown}: column 5 is not blank")
      endif()
    endforeach()
  endforeach()
else()
  message(FATAL_ERROR "unknown RULE '${RULE}'")
endif()

if(failures)
  list(JOIN failures "\n  " report)
  message(FATAL_ERROR "${IMAGE} breaks ${RULE}:\n  ${report}")
endif()
