# One switch for the whole tree, so the tested binaries are the shipped sources built
# with extra checks, never a different set of files.
if(FANBENCH_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(FANBENCH_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT FANBENCH_SANITIZE STREQUAL "")
  message(FATAL_ERROR "FANBENCH_SANITIZE must be empty, 'address' or 'thread'")
endif()
