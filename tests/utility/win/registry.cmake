# The registry, shell links, system facts and network adapters as other Windows programs see them.
tarnwick_test(utility_registry_win_test
  SOURCES registry_win_test.cpp shortcut_win_test.cpp system_info_win_test.cpp network_adapters_win_test.cpp
  LIBS tarnwick_system ole32 uuid shell32 advapi32 iphlpapi)
