# Warnings are on for every target of ours and treated as errors, so the tree stays clean.
function(liron_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
