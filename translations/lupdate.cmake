# Brings the catalogues up to date with the sources' texts (lupdate), or with
# -DCHECK=ON checks copies of them: every text of the sources must be
# translated, and none may be left that the sources no longer have.
#   cmake -DLUPDATE=lupdate -DCATALOGUES=translations -DLISTS=BUILD/translations [-DCHECK=ON] -P lupdate.cmake
set(source_language_en zh_CN)
set(target_language_en en)
set(source_language_zh en)
set(target_language_zh zh_CN)
set(failed "")
foreach(language en zh)
  set(catalogue ${CATALOGUES}/corvane_${language}.ts)
  set(options -no-obsolete)
  if(CHECK)
    set(copy ${LISTS}/checked_${language}.ts)
    file(COPY_FILE ${catalogue} ${copy})
    set(catalogue ${copy})
    set(options "")
  endif()
  execute_process(COMMAND ${LUPDATE} -silent -locations none ${options}
                          -source-language ${source_language_${language}} -target-language ${target_language_${language}}
                          @${LISTS}/corvane_${language}.lst -ts ${catalogue}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "lupdate failed for corvane_${language}.ts")
  endif()
  if(CHECK)
    file(STRINGS ${catalogue} stale REGEX "type=\"(unfinished|vanished|obsolete)\"")
    list(LENGTH stale count)
    if(count GREATER 0)
      list(APPEND failed "corvane_${language}.ts: ${count} text(s) untranslated or no longer used")
    endif()
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "${failed}\nRun the update_translations target and translate the texts it marks.")
endif()
