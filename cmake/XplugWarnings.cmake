# Warnings are errors everywhere in our own code.
add_compile_options(
  -Wall -Wextra -Werror -Wshadow -Wnon-virtual-dtor -Wcast-align -Wformat=2
  $<$<COMPILE_LANGUAGE:CXX>:-Woverloaded-virtual>)
