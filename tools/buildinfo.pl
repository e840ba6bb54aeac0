#!/usr/bin/perl
# A release's build record, calculator_VERSION_ARCH.buildinfo, in the form
# of Debian's (deb-buildinfo(5)), written and read by dpkg's own modules.
#
# buildinfo.pl write VERSION COMMIT EPOCH FILE...
#   Run where the release is built: prints the record of the build of
#   VERSION from COMMIT, whose time is EPOCH: the checksums of each FILE,
#   this machine's architecture and Debian release, every installed package
#   at its version, and the environment that the build sets itself (the
#   time zone and locale, the same for every builder) with SOURCE_DATE_EPOCH.
#   Its own fields start with X-.
# buildinfo.pl read FILE
#   Checks every field of a record against Debian's syntax and the form
#   above, and prints what a rebuild needs, one value a line, each checked:
#   "version V", "commit C", "architecture A", "release R", then
#   "package NAME VERSION" for each installed package. An unknown field or
#   a value out of form is named on standard error, with status 1.
use strict;
use warnings;
use Dpkg::Arch qw(get_build_arch);
use Dpkg::Checksums;
use Dpkg::Control;
use Dpkg::Deps qw(deps_parse);
use Dpkg::ErrorHandling qw(report_options);
use Dpkg::Package qw(pkg_name_is_illegal);
use Dpkg::Version qw(version_check);

# The Debian releases that a release may be built on.
my @known_releases = qw(bookworm trixie);
my $plain_name = qr/^[A-Za-z0-9_+~][A-Za-z0-9._+~-]*$/;

sub write_record {
    my ($version, $commit, $epoch, @files) = @_;
    my $arch = get_build_arch();
    my $record = Dpkg::Control->new(type => CTRL_FILE_BUILDINFO);
    $record->{'Format'} = '1.0';
    $record->{'Source'} = 'calculator';
    $record->{'Binary'} = 'calculator';
    $record->{'Architecture'} = "$arch source";
    $record->{'Version'} = $version;
    my $checksums = Dpkg::Checksums->new();
    for my $file (@files) {
        my ($name) = $file =~ m{([^/]+)$};
        $checksums->add_from_file($file, key => $name);
    }
    $checksums->export_to_control($record, use_files_for_md5 => 0);
    $record->{'Build-Origin'} = 'Debian';
    $record->{'Build-Architecture'} = $arch;
    my @installed;
    open(my $query, '-|', 'dpkg-query', '-W', '-f',
        '${db:Status-Abbrev}\t${Package}\t${Architecture}\t${Version}\n') or die "dpkg-query: $!";
    while (<$query>) {
        my ($status, $package, $package_arch, $package_version) = split /\t/;
        chomp $package_version;
        next unless $status eq 'ii ';
        $package .= ":$package_arch" unless $package_arch eq $arch or $package_arch eq 'all';
        push @installed, "$package (= $package_version)";
    }
    close($query) or die "dpkg-query failed\n";
    $record->{'Installed-Build-Depends'} = "\n" . join(",\n", sort @installed);
    $record->{'Environment'} = "\n" . join("\n", qq{LC_ALL="$ENV{LC_ALL}"},
        qq{SOURCE_DATE_EPOCH="$epoch"}, qq{TZ="$ENV{TZ}"});
    open(my $os, '<', '/etc/os-release') or die "/etc/os-release: $!";
    my ($release) = map { /^VERSION_CODENAME=(\S+)$/ ? $1 : () } <$os>;
    $record->{'X-Build-Debian-Release'} = $release;
    $record->{'X-Source-Commit'} = $commit;
    print $record->output;
}

# Text from the record as a terminal may show it.
sub printable {
    my ($text) = @_;
    $text =~ s/[^\x20-\x7e]/?/g;
    return $text;
}

# dpkg's parser takes time that grows with the square of a field's lines:
# a record larger, or with a line or a field longer, than any release's is
# refused before it reads it.
sub check_shape {
    my ($file) = @_;
    my ($size, $line_length, $field_lines) = (256 << 10, 512, 4096);
    return "it is larger than $size bytes" if -s $file > $size;
    open(my $fh, '<', $file) or return "it cannot be read: $!";
    my $lines = 0;
    while (my $line = <$fh>) {
        return "line $. is longer than $line_length bytes" if length $line > $line_length;
        $lines = $line =~ /^[ \t]/ ? $lines + 1 : 0;
        return "a field at line $. is longer than $field_lines lines" if $lines > $field_lines;
    }
    return;
}

sub read_record {
    my ($file) = @_;
    my @wrong;
    my $wrong = sub { push @wrong, printable(join '', @_) };
    if (my $shape = check_shape($file)) {
        print STDERR "buildinfo: $file is refused before it is parsed: $shape\n";
        exit 1;
    }
    # dpkg's own warnings would show the record's text as it stands.
    report_options(quiet_warnings => 1);
    my $record = Dpkg::Control->new(type => CTRL_FILE_BUILDINFO);
    eval { $record->load($file); 1 } or do {
        chomp(my $error = $@);
        print STDERR "buildinfo: $file is not in Debian's form: ", printable($error), "\n";
        exit 1;
    };
    $wrong->('it is signed inline, which a release never is') if $record->get_option('is_pgp_signed');
    my %form = (
        'Format' => qr/^1\.0$/,
        'Source' => qr/^calculator$/,
        'Binary' => qr/^calculator$/,
        'Architecture' => qr/^[a-z0-9]+ source$/,
        'Version' => qr/^[0-9]+\.[0-9]+\.[0-9]+(~dev\+git\.[0-9a-f]{7})?$/,
        'Checksums-Md5' => qr//,
        'Checksums-Sha1' => qr//,
        'Checksums-Sha256' => qr//,
        'Build-Origin' => qr/^Debian$/,
        'Build-Architecture' => qr/^[a-z0-9]+$/,
        'Installed-Build-Depends' => qr//,
        'Environment' => qr//,
        'X-Build-Debian-Release' => qr/^[a-z]+$/,
        'X-Source-Commit' => qr/^[0-9a-f]{40}$/,
    );
    for my $field (keys %{$record}) {
        $wrong->("unknown field $field") unless exists $form{$field};
    }
    for my $field (sort keys %form) {
        if (!defined $record->{$field}) {
            $wrong->("no field $field");
        } elsif ($record->{$field} !~ $form{$field}) {
            $wrong->("$field: '$record->{$field}'");
        }
    }
    exit_if_wrong(@wrong);

    my $arch = $record->{'Build-Architecture'};
    $wrong->("Architecture: '$record->{'Architecture'}', not '$arch source'")
        unless $record->{'Architecture'} eq "$arch source";
    my $release = $record->{'X-Build-Debian-Release'};
    $wrong->("X-Build-Debian-Release: '$release', not one of @known_releases")
        unless grep { $_ eq $release } @known_releases;
    my $checksums = Dpkg::Checksums->new();
    eval { $checksums->add_from_control($record, use_files_for_md5 => 0); 1 }
        or $wrong->("checksums: $@");
    for my $name ($checksums->get_files()) {
        $wrong->("checksums: '$name' is not a plain file name") unless $name =~ $plain_name;
    }
    for my $line (split /\n/, $record->{'Environment'}) {
        next if $line eq '';
        $wrong->("Environment: '$line'")
            unless $line =~ /^(SOURCE_DATE_EPOCH="[0-9]+"|TZ="[A-Za-z0-9_\/+-]+"|LC_ALL="[A-Za-z0-9._-]+")$/;
    }
    my (@packages, %named);
    my $depends = deps_parse($record->{'Installed-Build-Depends'}, reduce_arch => 0);
    if (!defined $depends) {
        $wrong->('Installed-Build-Depends is not a list of packages');
    } else {
        for my $dep ($depends->get_deps()) {
            my $text = $dep->output();
            if (!$dep->isa('Dpkg::Deps::Simple') || !defined $dep->{relation}
                || $dep->{relation} ne '=' || defined $dep->{archqual} || defined $dep->{arches}
                || defined $dep->{restrictions} || pkg_name_is_illegal($dep->{package})
                || !version_check($dep->{version})) {
                $wrong->("Installed-Build-Depends: '$text' is not PACKAGE (= VERSION)");
                next;
            }
            $wrong->("Installed-Build-Depends names $dep->{package} twice") if $named{$dep->{package}}++;
            push @packages, "package $dep->{package} $dep->{version}";
        }
    }
    exit_if_wrong(@wrong);
    print "version $record->{'Version'}\n", "commit $record->{'X-Source-Commit'}\n",
        "architecture $arch\n", "release $release\n", map { "$_\n" } @packages;
}

sub exit_if_wrong {
    return unless @_;
    print STDERR "buildinfo: $_\n" for @_;
    exit 1;
}

my $mode = shift // '';
if ($mode eq 'write' && @ARGV >= 3) {
    write_record(@ARGV);
} elsif ($mode eq 'read' && @ARGV == 1) {
    read_record(@ARGV);
} else {
    print STDERR "usage: buildinfo.pl write VERSION COMMIT EPOCH FILE... | read FILE\n";
    exit 2;
}
