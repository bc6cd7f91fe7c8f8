"""The options that name what a benchmark of a site starts: the source tree
(for the shipped broker configuration), the bridge, the station simulator
and the web server, as the scripts/bench-*.sh wrappers pass them."""


def add_program_options(parser, web_required):
    """--source, --bridge and --station, which every such benchmark needs, and
    --web: required, or "" for a run without the web server."""
    parser.add_argument("--source", required=True)
    parser.add_argument("--bridge", required=True)
    parser.add_argument("--station", required=True)
    parser.add_argument("--web", required=web_required, default="")
