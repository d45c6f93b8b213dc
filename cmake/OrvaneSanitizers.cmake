# ASan + UBSan for the test build (ORVANE_SANITIZE=ON). Every target gets the
# flags so that containers crossing library boundaries agree on their layout.
if(ORVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
