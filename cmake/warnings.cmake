# Per-target warnings; CI turns them into errors with PARTICLE_DEMO_WERROR.
function(particle_demo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
  if(PARTICLE_DEMO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
