# cmake -DSTRINGS_DIR=resources/strings -DOUTPUT=languages.nsh -P languages.cmake
# The installer's one sentence of its own, the caption of its language page, comes from the program's
# string tables (string 148, in block 10): languages.nsh, one LangString a language.
set(vistrel_installer_languages
  "0409 ENGLISH" "0004 SIMPCHINESE" "0007 GERMAN" "000A SPANISH" "000C FRENCH" "0010 ITALIAN" "0011 JAPANESE"
  "0019 RUSSIAN")
set(vistrel_language_caption_block 10)
set(vistrel_language_caption_id 148)
set(languages_nsh "")
foreach(row IN LISTS vistrel_installer_languages)
  string(REPLACE " " ";" row "${row}")
  list(GET row 0 table)
  list(GET row 1 nsis_language)
  set(table_file ${STRINGS_DIR}/${table}.json)
  file(READ ${table_file} json)
  if(table STREQUAL "0409")
    set(json_english "${json}")
  endif()
  string(JSON caption ERROR_VARIABLE missing GET "${json}" blocks ${vistrel_language_caption_block}
         ${vistrel_language_caption_id})
  if(missing)
    string(JSON caption GET "${json_english}" blocks ${vistrel_language_caption_block} ${vistrel_language_caption_id})
  endif()
  string(REPLACE "&&" "&" caption "${caption}")
  string(REPLACE "\"" "$\\\"" caption "${caption}")
  string(APPEND languages_nsh "LangString LanguageCaption \${LANG_${nsis_language}} \"${caption}\"\n")
endforeach()
file(WRITE ${OUTPUT} "${languages_nsh}")
