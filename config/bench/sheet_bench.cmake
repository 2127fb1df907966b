# Opening the card setup sheet: the module loaded as the spooler loads it,
# on winsim, with a printer that answers its questions at once.
add_executable(cardcfg_sheet_bench sheet_bench.cpp)
target_link_libraries(cardcfg_sheet_bench PRIVATE cardshared winsim benchmark::benchmark)
target_link_options(cardcfg_sheet_bench PRIVATE -Wl,--export-dynamic-symbol=winsim_module_resources)
add_dependencies(cardcfg_sheet_bench cardcfg)
target_compile_definitions(cardcfg_sheet_bench PRIVATE CARDCFG_DLL="$<TARGET_FILE:cardcfg>")
