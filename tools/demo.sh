#!/usr/bin/env bash
# The main job: builds both exes, seeds a throwaway Wine prefix (build/demo/wineprefix) with
# sample leftovers of the add-in, runs the cleaner there, and prints the log it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh
tools/build.sh >/dev/null

export WINEPREFIX=$PWD/build/demo/wineprefix
cleaner=$PWD/build/x64/app/TallowbriskCleaner.exe

run_demo() {
    tools/wine/make_prefix.sh "$WINEPREFIX" >/dev/null
    local user_dir
    user_dir=$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 ! -name Public | head -n 1)
    local settings="$user_dir/AppData/Local/Microsoft_Corporation"
    local marker='<Tallowbrisk4Outlook.Properties.Settings>'
    mkdir -p "$settings/Tallowbrisk4Outlook_Url_1/1.15.1.0" "$settings/Other_Program_Url/2.0.0.0"
    printf '<?xml version="1.0"?><configuration><userSettings>%s</Tallowbrisk4Outlook.Properties.Settings></userSettings></configuration>' \
        "$marker" >"$settings/Tallowbrisk4Outlook_Url_1/1.15.1.0/user.config"
    printf '<?xml version="1.0"?><configuration><userSettings/></configuration>' \
        >"$settings/Other_Program_Url/2.0.0.0/user.config"
    echo "demo: seeded $WINEPREFIX with one settings file of the add-in and one of another program"

    echo "demo: running TallowbriskCleaner.exe /postinstall"
    tools/wine/run.sh "$cleaner" /postinstall
    /usr/lib/wine/wineserver -w

    local log
    log=$(ls "$WINEPREFIX"/drive_c/windows/logs/TallowBriskCleaner/*.log 2>/dev/null | head -n 1 || true)
    if [ -z "$log" ]; then
        echo "demo: no log was written (nothing was removed)"
        return 1
    fi
    echo "demo: log file: $log"
    echo "demo: (C:\\windows\\Logs\\TallowBriskCleaner\\$(basename "$log") inside the prefix)"
    iconv -f UTF-16 -t UTF-8 "$log"
    echo "demo: left in place: $(find "$settings" -name user.config | sed "s|$settings/||")"
}

export -f run_demo
export cleaner
tools/wine/with_xvfb.sh bash -c run_demo
