# Warnings are errors everywhere in our own code.
add_compile_options(
  -Wall -Wextra -Werror -Wshadow -Wcast-align -Wformat=2
  $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>
  $<$<COMPILE_LANGUAGE:CXX>:-Woverloaded-virtual>)
