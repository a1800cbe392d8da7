# Sourced (not run): the environment every Wine program of a Windows build folder runs in.
#   . scripts/windows/wine-env.sh <build folder>
# The prefix and its HOME live inside the build folder, so that no run touches the user's own
# Wine set-up and a fresh build folder starts from a fresh Windows.
# shellcheck shell=bash
_wine_build=$(cd "${1:?build folder}" && pwd)
export WINEPREFIX=$_wine_build/wine/prefix
# Wine links the user folders to folders of $HOME and reads the desktop's settings there.
export HOME=$_wine_build/wine/home
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
# No desktop menu entries, no .NET or HTML engine installers, no debug chatter on stderr.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
export WINEDEBUG=-all
export WINEARCH=win64
unset _wine_build
