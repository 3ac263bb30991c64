# The program's icon: a 3 x 3 x 3 hexagon tiled by a fixed seed, drawn with
# borders by lozengia-cli's own SVG writer, on no background and centred in a
# square. Run as cmake -DCLI=<lozengia-cli> -DOUT=<file.svg> -P make_icon.cmake.
#
# The tool is run in a folder of its own: a config.cfg in the build folder
# must not change the icon's colours.
set(work ${OUT}.dir)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})
execute_process(
  COMMAND ${CLI} -N 3 -T 6 -S 3 --seed 5 --style 2 --size 256 --svg tiling.svg
  WORKING_DIRECTORY ${work}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "lozengia-cli could not draw the icon (${status})")
endif()
file(READ ${work}/tiling.svg svg)
file(REMOVE_RECURSE ${work})

# The picture's long side is its height, 256; its width is narrower.
string(REGEX MATCH "width=\"([0-9]+)\" height=\"256\" viewBox=\"0 0 ([0-9]+) 256\"" size "${svg}")
if(NOT size OR NOT CMAKE_MATCH_1 STREQUAL CMAKE_MATCH_2)
  message(FATAL_ERROR "The icon's SVG has no 256-pixel-high view box")
endif()
math(EXPR left "(${CMAKE_MATCH_1} - 256) / 2")
string(REPLACE "${size}" "width=\"256\" height=\"256\" viewBox=\"${left} 0 256 256\"" svg "${svg}")
# The white page behind the hexagon goes.
string(REGEX REPLACE "<rect [^>]*fill=\"#ffffff\"/>\n" "" svg "${svg}")
if(svg MATCHES "<rect ")
  message(FATAL_ERROR "The icon's SVG still has a background")
endif()
file(WRITE ${OUT} "${svg}")
