# A private PostgreSQL server for the demo clinic, for "scripts/run --server": sourced by
# scripts/run after the build. The cluster lives in $VELO_SERVER_HOME (default
# ~/.local/share/velo/server), listens only on a socket in that folder, and is stopped when
# the script that started it ends. As root the cluster belongs to the postgres user (the
# server refuses to run as root), in /var/lib/velo-demo-server, since postgres cannot reach
# into root's home.

velo_pg_bin=/usr/lib/postgresql/15/bin
velo_pg_port=${VELO_SERVER_PORT:-5544}

if [[ $(id -u) -eq 0 ]]; then
    velo_pg_home=${VELO_SERVER_HOME:-/var/lib/velo-demo-server}
    velo_as_pg=(runuser -u postgres --)
else
    velo_pg_home=${VELO_SERVER_HOME:-$data_home/velo/server}
    velo_as_pg=()
fi

# Makes the cluster on first use and starts its server; prints where it failed otherwise.
velo_server_start() {
    mkdir -p "$velo_pg_home"
    if [[ $(id -u) -eq 0 ]]; then
        chown postgres: "$velo_pg_home"
        chmod 755 "$velo_pg_home"
    fi
    if [[ ! -f "$velo_pg_home/data/PG_VERSION" ]]; then
        echo "Creating the demo server's cluster in $velo_pg_home"
        if ! "${velo_as_pg[@]}" "$velo_pg_bin/initdb" -D "$velo_pg_home/data" -U velo \
            --auth=trust -E UTF8 --locale=C >"$velo_pg_home/initdb.log" 2>&1; then
            echo "scripts/run: initdb failed; see $velo_pg_home/initdb.log" >&2
            return 1
        fi
    fi
    if ! "${velo_as_pg[@]}" "$velo_pg_bin/pg_ctl" -D "$velo_pg_home/data" \
        -l "$velo_pg_home/server.log" -w -o "-c listen_addresses='' -k $velo_pg_home -p $velo_pg_port" \
        start >/dev/null; then
        echo "scripts/run: the demo server did not start; see $velo_pg_home/server.log" >&2
        return 1
    fi
    velo_server_conninfo="host=$velo_pg_home port=$velo_pg_port dbname=velo_demo user=velo"
    "$velo_pg_bin/createdb" -h "$velo_pg_home" -p "$velo_pg_port" -U velo velo_demo 2>/dev/null || true
}

velo_server_stop() {
    "${velo_as_pg[@]}" "$velo_pg_bin/pg_ctl" -D "$velo_pg_home/data" -m fast -w stop >/dev/null 2>&1 || true
}
