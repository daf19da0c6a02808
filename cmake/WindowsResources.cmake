# What makes a cross-built .exe a Windows program of ours.
#
# tessaly_windows_resources(TARGET NAME name DESCRIPTION text PRODUCT text [WINDOW])
#   The version information (TESSALY_VERSION) and the manifest: the program
#   runs with the user's own rights, never virtualised, never asking for
#   elevation. WINDOW adds the themed common controls and DPI awareness.
#   NAME is the program's file name without ".exe".
#
# tessaly_strip_windows_program(TARGET)
#   The shipped file is stripped; its debug information stays beside it as
#   NAME.exe.debug, which the stripped file names (a GNU debug link), so
#   that a debugger finds it.
function(tessaly_windows_resources target)
  cmake_parse_arguments(ARG "WINDOW" "NAME;DESCRIPTION;PRODUCT" "" ${ARGN})
  set(TESSALY_RC_NAME ${ARG_NAME})
  set(TESSALY_RC_DESCRIPTION ${ARG_DESCRIPTION})
  set(TESSALY_RC_PRODUCT ${ARG_PRODUCT})
  string(REGEX REPLACE "[^A-Za-z0-9]" "" TESSALY_RC_IDENTITY "${ARG_NAME}")
  set(TESSALY_RC_WINDOW_DEPENDENCY "")
  set(TESSALY_RC_WINDOW_SETTINGS "")
  if(ARG_WINDOW)
    set(TESSALY_RC_WINDOW_DEPENDENCY [[
  <dependency>
    <dependentAssembly>
      <assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0"
                        processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"/>
    </dependentAssembly>
  </dependency>]])
    set(TESSALY_RC_WINDOW_SETTINGS [[
  <application xmlns="urn:schemas-microsoft-com:asm.v3">
    <windowsSettings>
      <dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>
    </windowsSettings>
  </application>]])
  endif()
  set(out ${CMAKE_CURRENT_BINARY_DIR}/resources/${target})
  set(TESSALY_RC_MANIFEST ${out}/${ARG_NAME}.manifest)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/windows/program.manifest.in ${TESSALY_RC_MANIFEST} @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/windows/program.rc.in ${out}/${ARG_NAME}.rc @ONLY)
  set_property(SOURCE ${out}/${ARG_NAME}.rc APPEND PROPERTY OBJECT_DEPENDS ${TESSALY_RC_MANIFEST})
  target_sources(${target} PRIVATE ${out}/${ARG_NAME}.rc)
endfunction()

function(tessaly_strip_windows_program target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>.debug
    COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE:${target}>
    COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE:${target}>.debug
            $<TARGET_FILE:${target}>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()
