# Per-target settings shared by every Vistrel target: warnings and sanitizers.
function(vistrel_target_settings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(VISTREL_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
    if(VISTREL_FUZZ)
        # Coverage feedback for libFuzzer in every library; the fuzz executables add the
        # fuzzer's main (see fuzz/CMakeLists.txt).
        target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link,address,undefined
                                                 -fno-omit-frame-pointer -fno-sanitize-recover=all)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    elseif(VISTREL_SANITIZE)
        target_compile_options(${target} PRIVATE -fsanitize=${VISTREL_SANITIZE} -fno-omit-frame-pointer
                                                 -fno-sanitize-recover=all)
        target_link_options(${target} PRIVATE -fsanitize=${VISTREL_SANITIZE})
    endif()
endfunction()
