# Sourced by the provisioning scripts: a private, throw-away apt
# configuration in a work folder, so that .debs can be downloaded without
# writing anything under /etc/apt, /var/lib/apt or /var/cache/apt.
#   private_apt WORK [LINE...]
# writes WORK/apt.conf (sources from WORK/sources.list, which the caller
# writes; index lists and cache in WORK; no post-update hooks; each LINE
# added as it is) and makes WORK/debs for the downloads.

private_apt() {
    local work=$1; shift
    {
        echo "Dir::Etc::SourceList \"$work/sources.list\";"
        echo 'Dir::Etc::SourceParts "/nonexistent";'
        echo "Dir::State::Lists \"$work/lists\";"
        echo "Dir::Cache \"$work/cache\";"
        echo '#clear APT::Update::Post-Invoke-Success;'
        echo '#clear APT::Update::Post-Invoke;'
        local line
        for line in "$@"; do echo "$line"; done
    } > "$work/apt.conf"
    mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/debs"
    if [[ $(id -u) == 0 ]]; then
        chown -R _apt "$work"          # let apt's sandbox user write there
    else
        echo 'Debug::NoLocking "true";' >> "$work/apt.conf"   # no sandbox, and nothing shared to lock
    fi
}
