# fish completion for filmcast
set -l commands convert frame frames info trace sound
complete -c filmcast -f
complete -c filmcast -n "not __fish_seen_subcommand_from $commands" -a convert -d 'Convert movies to animated GIFs'
complete -c filmcast -n "not __fish_seen_subcommand_from $commands" -a frame -d 'Draw one picture after N ticks'
complete -c filmcast -n "not __fish_seen_subcommand_from $commands" -a frames -d 'Write every frame as a numbered picture'
complete -c filmcast -n "not __fish_seen_subcommand_from $commands" -a info -d 'Print the header values of each movie'
complete -c filmcast -n "not __fish_seen_subcommand_from $commands" -a trace -d 'Print what the scripts trace'
complete -c filmcast -n "not __fish_seen_subcommand_from $commands" -a sound -d 'Write the audio'
complete -c filmcast -n "not __fish_seen_subcommand_from $commands" -l version -d 'Print the version'

# Movies, for every command.
complete -c filmcast -n "__fish_seen_subcommand_from $commands" -k -a "(__fish_complete_suffix .swf)"

# Drawing commands.
set -l drawing 'convert frame frames'
complete -c filmcast -n "__fish_seen_subcommand_from $drawing" -l size -x -d 'Output size WxH'
complete -c filmcast -n "__fish_seen_subcommand_from $drawing" -l scale -x -d 'Output size as a factor of the stage'
complete -c filmcast -n "__fish_seen_subcommand_from $drawing" -l quality -x -a 'low medium high best' -d 'Drawing quality'
complete -c filmcast -n "__fish_seen_subcommand_from $drawing" -s n -l no-clobber -d 'Never replace an existing output'
complete -c filmcast -n "__fish_seen_subcommand_from $drawing" -s y -l overwrite -d 'Replace existing outputs (default)'
complete -c filmcast -n "__fish_seen_subcommand_from $drawing" -s q -l quiet -d 'No progress line and no notes'
complete -c filmcast -n "__fish_seen_subcommand_from $drawing" -s v -l verbose -d 'Say what is read and written'
complete -c filmcast -n "__fish_seen_subcommand_from $drawing sound" -s o -l output -r -F -d 'Output file or folder'
complete -c filmcast -n "__fish_seen_subcommand_from convert frames sound" -l frames -x -d 'Ticks of playback'
complete -c filmcast -n "__fish_seen_subcommand_from convert frames sound" -l from -x -d 'First frame (0-based)'
complete -c filmcast -n "__fish_seen_subcommand_from convert frames sound" -l to -x -d 'Last frame (0-based)'
complete -c filmcast -n "__fish_seen_subcommand_from $drawing trace sound" -l seed -x -d 'Seed of the random numbers'
complete -c filmcast -n "__fish_seen_subcommand_from $drawing trace sound" -l clock -x -a 'fixed now' -d 'Where the calendar starts'
complete -c filmcast -n "__fish_seen_subcommand_from $drawing trace sound" -l click -x -d 'Click X,Y@TICK'
complete -c filmcast -n "__fish_seen_subcommand_from $drawing trace sound" -l key -x -d 'Key NAME@TICK'

# convert
complete -c filmcast -n "__fish_seen_subcommand_from convert" -l list -r -F -d 'Movies listed in a file (- for stdin)'
complete -c filmcast -n "__fish_seen_subcommand_from convert" -l shard -x -d 'Take every N-th movie from the K-th (K/N)'
complete -c filmcast -n "__fish_seen_subcommand_from convert" -l report -r -F -d 'One JSON line a movie'
complete -c filmcast -n "__fish_seen_subcommand_from convert" -l skip-existing -d 'Leave complete GIFs'
complete -c filmcast -n "__fish_seen_subcommand_from convert" -l keep-tree -d "Mirror the movies' folders"
complete -c filmcast -n "__fish_seen_subcommand_from convert" -s j -l jobs -x -d 'Movies at once'
complete -c filmcast -n "__fish_seen_subcommand_from convert" -l fps -x -d 'Pictures a second'
complete -c filmcast -n "__fish_seen_subcommand_from convert" -l colors -x -d 'Colours a picture holds'
complete -c filmcast -n "__fish_seen_subcommand_from convert" -l dither -x -a 'none ordered diffuse' -d 'Dithering'
complete -c filmcast -n "__fish_seen_subcommand_from convert" -l palette -x -a 'local global' -d 'Palette'
complete -c filmcast -n "__fish_seen_subcommand_from convert" -l optimize -d 'Merge and crop frames'
complete -c filmcast -n "__fish_seen_subcommand_from convert" -l no-optimize -d 'Keep every frame whole'
complete -c filmcast -n "__fish_seen_subcommand_from convert" -l tolerance -x -d 'Levels a pixel may drift before it is drawn again'
complete -c filmcast -n "__fish_seen_subcommand_from convert" -l transparent -d 'Transparent background'
complete -c filmcast -n "__fish_seen_subcommand_from convert" -l matte -x -d 'Colour behind soft edges'
complete -c filmcast -n "__fish_seen_subcommand_from convert" -l loop -x -d 'Plays of the animation'
complete -c filmcast -n "__fish_seen_subcommand_from convert" -l duration -x -d 'Seconds a scripted movie plays'

# the others
complete -c filmcast -n "__fish_seen_subcommand_from frame" -l at -x -d 'Ticks played from the start'
complete -c filmcast -n "__fish_seen_subcommand_from frames" -l format -x -a 'bmp tga png' -d 'Picture format'
complete -c filmcast -n "__fish_seen_subcommand_from info" -l json -d 'A JSON list'
complete -c filmcast -n "__fish_seen_subcommand_from trace" -l frames -x -d 'Frames to play'
