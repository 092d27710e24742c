# A private PostgreSQL server, for "scripts/run --server" (the demo clinic) and scripts/bench
# (the benchmarks' clinic): sourced by either after the build. The cluster lives in
# $VELO_SERVER_HOME (default ~/.local/share/velo/server), listens only on a socket in that
# folder with port number $VELO_SERVER_PORT, holds the database $VELO_SERVER_DB (default
# velo_demo), takes the server options in $VELO_SERVER_OPTIONS ("-c name=value ..."), and is
# stopped when the script that started it ends. As root the cluster
# belongs to the postgres user (the server refuses to run as root), by default in
# /var/lib/velo-demo-server, since postgres cannot reach into root's home; a folder given in
# VELO_SERVER_HOME must then be one that postgres can reach.

velo_pg_bin=/usr/lib/postgresql/15/bin
velo_pg_port=${VELO_SERVER_PORT:-5544}
velo_pg_db=${VELO_SERVER_DB:-velo_demo}
velo_pg_options=${VELO_SERVER_OPTIONS:-}
# Messages name the script that sourced this file.
velo_pg_who=${0##*/}

if [[ $(id -u) -eq 0 ]]; then
    velo_pg_home=${VELO_SERVER_HOME:-/var/lib/velo-demo-server}
    velo_as_pg=(runuser -u postgres --)
else
    velo_pg_home=${VELO_SERVER_HOME:-${data_home:-${XDG_DATA_HOME:-$HOME/.local/share}}/velo/server}
    velo_as_pg=()
fi

# Makes the cluster on first use and starts its server (a server left running by a run that
# was cut short is used as it is); prints where it failed otherwise.
velo_server_start() {
    mkdir -p "$velo_pg_home"
    if [[ $(id -u) -eq 0 ]]; then
        chown postgres: "$velo_pg_home"
        chmod 755 "$velo_pg_home"
    fi
    if [[ ! -f "$velo_pg_home/data/PG_VERSION" ]]; then
        echo "Creating the server's cluster in $velo_pg_home"
        if ! "${velo_as_pg[@]}" "$velo_pg_bin/initdb" -D "$velo_pg_home/data" -U velo \
            --auth=trust -E UTF8 --locale=C >"$velo_pg_home/initdb.log" 2>&1; then
            echo "$velo_pg_who: initdb failed; see $velo_pg_home/initdb.log" >&2
            return 1
        fi
    fi
    if ! "${velo_as_pg[@]}" "$velo_pg_bin/pg_ctl" -D "$velo_pg_home/data" status >/dev/null 2>&1 &&
        ! "${velo_as_pg[@]}" "$velo_pg_bin/pg_ctl" -D "$velo_pg_home/data" \
            -l "$velo_pg_home/server.log" -w -o "-c listen_addresses='' -k $velo_pg_home -p $velo_pg_port $velo_pg_options" \
            start >/dev/null; then
        echo "$velo_pg_who: the server did not start; see $velo_pg_home/server.log" >&2
        return 1
    fi
    velo_server_conninfo="host=$velo_pg_home port=$velo_pg_port dbname=$velo_pg_db user=velo"
    "$velo_pg_bin/createdb" -h "$velo_pg_home" -p "$velo_pg_port" -U velo "$velo_pg_db" 2>/dev/null || true
}

velo_server_stop() {
    "${velo_as_pg[@]}" "$velo_pg_bin/pg_ctl" -D "$velo_pg_home/data" -m fast -w stop >/dev/null 2>&1 || true
}
